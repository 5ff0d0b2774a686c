#include "app/exit_status.h"

namespace tidewire::app {

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

ExitStatus StatusFor(cycle::PassEnd end) {
  switch (end) {
    case cycle::PassEnd::kCompleted:
      return ExitStatus::kNormal;
    case cycle::PassEnd::kBlocked:
      return ExitStatus::kPassBlocked;
    case cycle::PassEnd::kClientTrouble:
      return ExitStatus::kClientTrouble;
    case cycle::PassEnd::kStoppedOnError:
      return ExitStatus::kPassStopped;
  }
  return ExitStatus::kNormal;
}

}  // namespace tidewire::app
