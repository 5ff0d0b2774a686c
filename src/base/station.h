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

// The core's side of the controls: the boxes and the Stop-AutoGO button as the run cycle reads
// and sets them, and the close it agreed to. A front end mirrors them in its own widgets.
struct FrontPanel {
  bool sound = false;    // "Sound"
  bool auto_go = false;  // "AutoGO"
  // The Stop-AutoGO button can be pressed.
  bool stop_auto_go_enabled = false;
  // The program is to end once the handler in progress has returned.
  bool close_agreed = false;
  // The settings dialog's two-digit entry field, which each load of the settings fills.
  std::string after_x_entry = "xx";
};

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
  // What the operator sees and sets on the front panel, whichever front end shows it.
  FrontPanel panel;
  // USER.DAT is there but could not be read at start: each pass reads it again before it
  // converts anything, and stops while it still cannot (a pass with no users would reject
  // every packet user and turn their e-mail into bulletins).
  bool UsersUnread = false;
  // Why mail has not moved through the station for longer than it may (HEALTH), as the last pass
  // found it; empty while it moves. An unattended run then ends with its own exit status.
  std::string MailNotMoving;

  // A file of the working directory.
  [[nodiscard]] std::filesystem::path File(std::string_view name) const { return work_dir / name; }
  // MailinDIR followed by "\" and a name, as a Linux path.
  [[nodiscard]] std::filesystem::path MailinFile(std::string_view name) const;
  [[nodiscard]] std::time_t Now() const { return clock(); }
  void Status(std::string_view text) { op.StatusLine(text); }
};

}  // namespace tidewire
