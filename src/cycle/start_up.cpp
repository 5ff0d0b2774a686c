#include "cycle/start_up.h"

#include <optional>
#include <string_view>

#include "base/errors.h"
#include "base/file_layer.h"
#include "config/flag_files.h"
#include "config/settings_file.h"
#include "config/user_database.h"
#include "cycle/health.h"

namespace tidewire::cycle {

namespace {

constexpr std::string_view kBackupFolder = "backup";
using config::kAutoGoFlag;
using config::kSoundFlag;

// Without the backup folder every pass would lose its copies; the operator may refuse it, and
// then nothing else is read.
void EnsureBackupFolder(Station& station) {
  const fs::path folder = station.File(kBackupFolder);
  if (FolderIsPresent(folder)) return;
  const Answer answer = station.op.ShowBox(BoxKind::kConfirmation, Buttons::kOkCancel,
                                           "BACKUP-Dir does not exist!  Create new one?");
  if (answer != Answer::kOk) throw EndProgram{EndProgram::Reason::kOperator};
  MakeFolder(folder);
}

// A flag that is there counts, even when a look into it fails: read as off, it would be
// deleted by the next Stop, and an unattended station would stop running its passes.
bool FlagIsSet(const Station& station, std::string_view name) {
  return EntryExists(station.File(name));
}

// A flag file exists exactly while its switch is on.
void SaveFlag(const Station& station, std::string_view name, bool on) {
  if (on) {
    CreateEmptyFile(station.File(name));
  } else {
    DeleteFileIfPresent(station.File(name));
  }
}

}  // namespace

void StartUp(Station& station) {
  // Until USER.DAT is read, a failure anywhere in the start leaves the table to the first pass.
  station.UsersUnread = true;
  EnsureBackupFolder(station);
  station.config.ConfigurationCodeMode2 = false;
  station.SoundOn = FlagIsSet(station, kSoundFlag);
  station.panel.sound = station.SoundOn;
  station.op.SetProgressLabel("");
  station.op.SetError1("Idle");
  ShowStationHealth(station.work_dir, station.Now(), station.op);
  if (FlagIsSet(station, kAutoGoFlag)) {
    // Ticking the box runs its click handler; the run cycle fills Status1.
    AutoGoCheckClick(station);
    station.panel.stop_auto_go_enabled = true;
  } else {
    station.op.SetStatus1("Ready to GO!");
    station.panel.auto_go = false;
    station.panel.stop_auto_go_enabled = false;
  }
  // A USER.DAT that cannot be read is reported after the settings are read, and read again
  // by the next pass.
  std::optional<IoError> user_file_error;
  try {
    config::LoadUserDatabase(station.work_dir, station.config, station.users, station.op);
    station.UsersUnread = false;
  } catch (const IoError& error) {
    user_file_error = error;
  }
  // The settings window made at start reads TWIRE.CFG; what outlives it are the flag settings
  // of lines 16 to 21 in the station's GatewayConfig.
  (void)config::ReadSettingsAtStart(station.work_dir, station.config, station.op);
  if (user_file_error) throw *user_file_error;
}

void StopClick(Station& station) {
  SaveFlag(station, kSoundFlag, station.panel.sound);
  SaveFlag(station, kAutoGoFlag, station.panel.auto_go);
  station.AutoGoMode = station.panel.auto_go;
}

bool FormClose(Station& station) {
  if (station.AutoGoMode) return true;
  return station.op.ShowBox(BoxKind::kConfirmation, Buttons::kYesNo, "Are you sure ?") ==
         Answer::kYes;
}

void AutoGoCheckClick(Station& station) {
  if (station.AutoGoMode) {
    DeleteFileIfPresent(station.File(kAutoGoFlag));
    station.AutoGoMode = false;
    station.panel.auto_go = false;
  } else {
    station.AutoGoMode = true;
    station.panel.auto_go = true;
    CreateEmptyFile(station.File(kAutoGoFlag));
  }
  station.op.giveTurn();
}

}  // namespace tidewire::cycle
