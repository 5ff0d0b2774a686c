#include "cycle/floppy_backup.h"

#include <string>
#include <vector>

#include "base/errors.h"
#include "base/file_layer.h"
#include "base/text.h"
#include "platform/ini_file.h"

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

// Drive A: is a folder that is there, or the operator chooses one now, which the INI file
// keeps as its [Drives] mapping. False when there is none: nothing is copied, and one box has
// said why instead of one failure per file.
bool BackupFolderReady(Station& station) {
  const fs::path root = station.drives.FolderOf('A');
  std::error_code error;
  if (!root.empty() && fs::is_directory(root, error)) return true;
  const std::string where = root.empty() ? "is not set up" : "(" + root.string() + ") is not there";
  if (station.op.ShowBox(BoxKind::kConfirmation, Buttons::kYesNo,
                         "Drive A: for the backup " + where +
                             ".\rChoose a folder for the backup now?") != Answer::kYes) {
    return false;
  }
  const std::optional<std::string> chosen = station.op.TypedAnswer(TypedQuestion::kBackupFolder);
  if (!chosen || chosen->empty()) return false;
  if (!fs::is_directory(*chosen, error)) {
    WarningBox(station.op, "Not a folder: " + *chosen);
    return false;
  }
  station.drives.folders['A'] = *chosen;
  try {
    const fs::path ini_path = platform::IniFile::DefaultPath();
    platform::IniFile ini = platform::IniFile::Load(ini_path);
    ini.Set("Drives", "A", *chosen);
    ini.Save(ini_path);
  } catch (const IoError& failure) {
    WarningBox(station.op,
               "The backup folder is used now but could not be kept: " + failure.BoxText());
  }
  return true;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

void BackUpOne(Station& station, std::string_view name, std::vector<std::string>& failed) {
  if (!FileIsPresent(station.File(name))) return;
  try {
    CopyKeepingSecrets(station.File(name), OnDisk(station, name), name);
  } catch (const IoError&) {
    failed.emplace_back(name);
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

// What a restore did, told in one box at its end.
struct Restored {
  int files = 0;
  std::vector<std::string> missing;  // settings the disk lacks
  std::vector<std::string> failed;
};

// The files a station cannot work without; the others a backup leaves out when the station
// had none (a fresh station has no twire.itp), and their absence is no fault.
bool Required(std::string_view name) {
  return EqualsIgnoringCase(name, "twire.cfg") || EqualsIgnoringCase(name, "user.dat");
}

void RestoreOne(Station& station, std::string_view name, Restored& report) {
  const std::string shown = "a:\\" + std::string(name);
  if (!PresentOnDisk(station, name)) {
    if (Required(name)) report.missing.push_back(shown);
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
    report.failed.push_back(shown);
    return;
  }
  ++report.files;
  station.Status("Restored file " + std::string(name));
  station.op.giveTurn();
}

}  // namespace

void BackupToFloppy(Station& station) {
  if (!BackupFolderReady(station)) return;
  if (!Confirmed(station, "Insert a blank formatted disk in drive A:")) return;
  std::vector<std::string> failed;
  for (std::string_view name : kFloppyBackupFiles) BackUpOne(station, name, failed);
  if (!failed.empty()) WarningBox(station.op, "Failed to copy file: " + Joined(failed));
}

void RestoreFromFloppy(Station& station) {
  if (!BackupFolderReady(station)) return;
  if (!Confirmed(station, "Insert Tidewire backup-disk in drive A:")) return;
  Restored report;
  for (std::size_t i = 0; i < 4; ++i) RestoreOne(station, kFloppyBackupFiles[i], report);
  if (PresentOnDisk(station, kCounterFile) &&
      (!FileIsPresent(station.File(kCounterFile)) ||
       station.op.ShowBox(BoxKind::kConfirmation, Buttons::kOkCancel,
                          "Replace current Last-BID with old one?") == Answer::kOk)) {
    RestoreOne(station, kCounterFile, report);
  }
  RestoreOne(station, kFloppyBackupFiles[5], report);
  RestoreOne(station, kFloppyBackupFiles[6], report);
  // The optional files: ml.cfg first, then the flag files and WATCH.DOG.
  for (std::size_t i : {9, 7, 8, 10, 11, 12, 13}) {
    RestoreOne(station, kFloppyBackupFiles[i], report);
  }
  std::string problems;
  if (!report.missing.empty()) problems += "Not on the backup: " + Joined(report.missing);
  if (!report.failed.empty()) {
    problems += std::string(problems.empty() ? "" : "\r") +
                "Failed to restore file: " + Joined(report.failed);
  }
  if (!problems.empty()) WarningBox(station.op, problems);
  // Nothing restored, nothing to restart for.
  if (report.files > 0) InformationBox(station.op, "Please restart the Tidewire software now.");
}

}  // namespace tidewire::cycle
