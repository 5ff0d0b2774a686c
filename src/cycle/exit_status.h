#pragma once

#include <string>

#include "base/errors.h"
#include "cycle/run_cycle.h"

namespace tidewire::cycle {

// Exit statuses of tidewire and tidewire-console.
enum class ExitStatus : int {
  kNormal = 0,
  kAnotherInstance = 1,    // a gateway already runs in this working directory
  kOperatorRefused = 2,    // the operator refused the "backup" folder at start
  kDriveNotReady = 3,      // the drive of MailinDIR did not answer
  kBidCounterRefused = 4,  // the operator refused to create TWIREBID.BIN
  kDamagedExportFile = 5,  // FBB's export file is damaged
  kLockFileUnusable = 6,   // the single-instance lock file could not be opened
  kPassStopped = 7,        // the last pass was stopped by an error
  kPassBlocked = 8,        // the last pass found a MAIL.IN or reply packet of an earlier one
  kClientTrouble = 9,      // the last pass could not start the SOUP client or the watchdog ended it
  kMailNotMoving = 10,     // mail has not moved for longer than HEALTH.MIN minutes (see HEALTH)
  kUsage = 11,             // the command line named no usable station directory
};

// The status of a program ended by a fatal check or the operator.
[[nodiscard]] ExitStatus StatusFor(EndProgram::Reason reason);
// The status of a program whose last pass ended so; a pass that was not stopped by an error
// says kMailNotMoving when mail has stood still too long.
[[nodiscard]] ExitStatus StatusFor(PassEnd end, const std::string& mail_not_moving = {});

}  // namespace tidewire::cycle
