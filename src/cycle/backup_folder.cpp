#include "cycle/backup_folder.h"

#include "base/errors.h"
#include "base/file_layer.h"

namespace tidewire::cycle {

std::filesystem::path BackupFile(const std::filesystem::path& work_dir, std::string_view name) {
  return work_dir / "BACKUP" / name;
}

void CopyToBackup(const std::filesystem::path& work_dir, std::string_view name) {
  try {
    CopyFile(work_dir / name, BackupFile(work_dir, name));
  } catch (const IoError&) {
    // The working file is untouched; only the spare is missing.
  }
}

}  // namespace tidewire::cycle
