#pragma once

#include <cstdio>

namespace tidewire::console {

// Exit statuses of tidewire-console.
enum class ExitStatus : int {
  kNormal = 0,
  kAnotherInstance = 1,    // a gateway already runs in this working directory
  kOperatorRefused = 2,    // the operator refused the "backup" folder at start
  kDriveNotReady = 3,      // the drive of MailinDIR did not answer
  kBidCounterRefused = 4,  // the operator refused to create TWIREBID.BIN
  kDamagedExportFile = 5,  // FBB's export file is damaged
  kLockFileUnusable = 6,   // the single-instance lock file could not be opened
  // How the last GO pass of the run ended, when it did not complete.
  kPassStopped = 7,   // an error, shown in its box, stopped the pass
  kPassBlocked = 8,   // a MAIL.IN or reply packet of an earlier pass stopped the conversions
  kClientTrouble = 9,  // the SOUP client could not be started or the watchdog stopped it
};

// The gateway at a terminal, in the current directory: starts up, then reads the main window's
// commands ("GO!", "Backup", "Restore", "LOG", "Stop") one per line from `in` until Stop or the
// end of the input. Started with the flag file "autogo", it runs one pass and ends.
[[nodiscard]] int RunConsole(std::FILE* in, std::FILE* out);

}  // namespace tidewire::console
