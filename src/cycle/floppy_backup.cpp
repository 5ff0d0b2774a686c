#include "cycle/floppy_backup.h"

#include <string>

#include "base/errors.h"
#include "base/file_layer.h"
#include "base/text.h"

namespace tidewire::cycle {

namespace {

constexpr std::string_view kCounterFile = "twirebid.bin";
// Each restored file is written here first, so a failed copy leaves the local file whole.
constexpr std::string_view kRestoreTemp = "RESTORE.TMP";

// The root of drive A:. An unmapped drive is one whose every copy fails.
fs::path OnDisk(const Station& station, std::string_view name) {
  const fs::path root = station.drives.FolderOf('A');
  if (root.empty()) throw IoError(IoCode::kPathNotFound, "a:\\" + std::string(name));
  return root / name;
}

// TWIRE.CFG holds the account's password: every copy of it is for the gateway's user alone,
// whatever the mode of the file it was copied from (an old backup disk may have 0644).
void CopyKeepingSecrets(const fs::path& from, const fs::path& to, std::string_view name) {
  CopyFile(from, to);
  if (EqualsIgnoringCase(name, "twire.cfg")) RestrictToOwner(to);
}

bool Confirmed(Station& station, std::string_view question) {
  return station.op.ShowBox(BoxKind::kInformation, Buttons::kOkCancel, question) == Answer::kOk;
}

void BackUpOne(Station& station, std::string_view name) {
  if (!FileIsPresent(station.File(name))) return;
  try {
    CopyKeepingSecrets(station.File(name), OnDisk(station, name), name);
  } catch (const IoError&) {
    WarningBox(station.op, "Failed to copy file: " + std::string(name));
    return;
  }
  station.Status("Backup of file " + std::string(name) + " created.");
  station.op.giveTurn();
}

bool PresentOnDisk(const Station& station, std::string_view name) {
  try {
    return FileIsPresent(OnDisk(station, name));
  } catch (const IoError&) {
    return false;
  }
}

void RestoreOne(Station& station, std::string_view name) {
  const std::string shown = "a:\\" + std::string(name);
  if (!PresentOnDisk(station, name)) {
    WarningBox(station.op, "File " + shown + " not found.");
    return;
  }
  const fs::path temp = station.File(kRestoreTemp);
  try {
    CopyKeepingSecrets(OnDisk(station, name), temp, name);
    RenameFile(temp, station.File(name));
  } catch (const IoError&) {
    try {
      DeleteFileIfPresent(temp);
    } catch (const IoError&) {
      // The warning below is what the operator needs to see.
    }
    WarningBox(station.op, "Failed to restore file: " + shown);
    return;
  }
  station.Status("Restored file " + std::string(name));
  station.op.giveTurn();
}

}  // namespace

void BackupToFloppy(Station& station) {
  if (!Confirmed(station, "Insert a blank formatted disk in drive A:")) return;
  for (std::string_view name : kFloppyBackupFiles) BackUpOne(station, name);
}

void RestoreFromFloppy(Station& station) {
  if (!Confirmed(station, "Insert Tidewire backup-disk in drive A:")) return;
  for (std::size_t i = 0; i < 4; ++i) RestoreOne(station, kFloppyBackupFiles[i]);
  if (!FileIsPresent(station.File(kCounterFile)) ||
      station.op.ShowBox(BoxKind::kConfirmation, Buttons::kOkCancel,
                         "Replace current Last-BID with old one?") == Answer::kOk) {
    RestoreOne(station, kCounterFile);
  }
  RestoreOne(station, kFloppyBackupFiles[5]);
  RestoreOne(station, kFloppyBackupFiles[6]);
  // The optional files: ml.cfg first, then the flag files and WATCH.DOG.
  for (std::size_t i : {9, 7, 8, 10, 11, 12, 13}) {
    if (PresentOnDisk(station, kFloppyBackupFiles[i])) RestoreOne(station, kFloppyBackupFiles[i]);
  }
  InformationBox(station.op, "Please restart the Tidewire software now.");
}

}  // namespace tidewire::cycle
