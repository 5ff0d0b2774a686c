#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "base/drive_map.h"
#include "base/operator.h"
#include "base/shared_types.h"

namespace tidewire {

// The program-wide records of one running gateway: settings, users, counters and flags, the
// working directory its file names are taken in, and the person at the console.
struct Station {
  Station(Operator& op, std::filesystem::path work_dir);

  Operator& op;
  std::filesystem::path work_dir;
  DriveMap drives;
  std::function<std::time_t()> clock;

  GatewayConfig config;
  UserDatabase users;
  BidCounter bid;
  RunCounters counters;
  int CurrentUser = 0;

  bool SoundOn = false;
  bool AutoGoMode = false;
  // The main window's "Sound" and "AutoGO" boxes.
  bool SoundBox = false;
  bool AutoGoBox = false;
  // The Stop-AutoGO button can be pressed.
  bool BitBtn1Enabled = false;
  // The main window has agreed to close; the front end ends the program once the handler in
  // progress has returned.
  bool CloseRequested = false;
  // USER.DAT is there but could not be read at start: each pass reads it again before it
  // converts anything, and stops while it still cannot (a pass with no users would reject
  // every packet user and turn their e-mail into bulletins).
  bool UsersUnread = false;
  // Why mail has not moved through the station for longer than it may (HEALTH), as the last pass
  // found it; empty while it moves. An unattended run then ends with its own exit status.
  std::string MailNotMoving;
  // The settings dialog's two-digit entry field, which each load fills.
  std::string AfterXMessageEntry = "xx";

  // A file of the working directory.
  [[nodiscard]] std::filesystem::path File(std::string_view name) const { return work_dir / name; }
  // MailinDIR followed by "\" and a name, as a Linux path.
  [[nodiscard]] std::filesystem::path MailinFile(std::string_view name) const;
  [[nodiscard]] std::time_t Now() const { return clock(); }
  void Status(std::string_view text) { op.StatusLine(text); }
};

}  // namespace tidewire
