#include "cycle/exit_status.h"

namespace tidewire::cycle {

ExitStatus StatusFor(EndProgram::Reason reason) {
  switch (reason) {
    case EndProgram::Reason::kOperator:
      return ExitStatus::kOperatorRefused;
    case EndProgram::Reason::kDriveNotReady:
      return ExitStatus::kDriveNotReady;
    case EndProgram::Reason::kBidCounterRefused:
      return ExitStatus::kBidCounterRefused;
    case EndProgram::Reason::kDamagedExportFile:
      return ExitStatus::kDamagedExportFile;
  }
  return ExitStatus::kOperatorRefused;
}

ExitStatus StatusFor(PassEnd end, const std::string& mail_not_moving) {
  if (!mail_not_moving.empty() && end != PassEnd::kStoppedOnError) {
    return ExitStatus::kMailNotMoving;
  }
  switch (end) {
    case PassEnd::kCompleted:
      return ExitStatus::kNormal;
    case PassEnd::kBlocked:
      return ExitStatus::kPassBlocked;
    case PassEnd::kClientTrouble:
      return ExitStatus::kClientTrouble;
    case PassEnd::kStoppedOnError:
      return ExitStatus::kPassStopped;
  }
  return ExitStatus::kNormal;
}

}  // namespace tidewire::cycle
