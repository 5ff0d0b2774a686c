#include "cycle/backup_folder.h"

#include "base/errors.h"
#include "base/file_layer.h"

namespace tidewire::cycle {

std::filesystem::path BackupFile(const Station& station, std::string_view name) {
  return station.File("BACKUP") / name;
}

void CopyToBackup(const Station& station, std::string_view name) {
  try {
    CopyFile(station.File(name), BackupFile(station, name));
  } catch (const IoError&) {
    // The working file is untouched; only the spare is missing.
  }
}

}  // namespace tidewire::cycle
