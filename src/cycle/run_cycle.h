#pragma once

#include "base/station.h"

namespace tidewire::cycle {

// How a pass ended.
enum class PassEnd {
  kCompleted,       // both directions ran and the new MAIL.IN went to FBB
  kBlocked,         // a MAIL.IN or reply packet of an earlier pass stopped the conversions
  kClientTrouble,   // completed, but a SOUP client run did not start or the watchdog stopped it
  kStoppedOnError,  // an error, shown in a box, stopped the pass where it happened
};

// The GO button: one pass of the gateway in both directions. Errors of the pass are shown in a
// box and end it; EndProgram from a fatal check leaves it. In AutoGO mode the pass ends by
// pressing Stop, which asks the main window to close (station.panel.close_agreed).
PassEnd RunCycle(Station& station);

// The four seconds of AutoGO mode before a pass, shown as 4, 3, 2, 1; over at once when
// AutoGO mode is left meanwhile.
void AutoGoCountdown(Station& station);

// The Stop-AutoGO button: leaves AutoGO mode for good (the flag file goes) and closes the
// main window, which now asks "Are you sure ?".
void BitBtn1Click(Station& station);

// Hands the working MAIL.IN to FBB: written in MailinDIR under a temporary name, renamed to the
// name FBB imports once complete, then deleted from the working directory. When any of it
// fails the working MAIL.IN stays and IoError leaves.
void HandOverMailIn(Station& station);

}  // namespace tidewire::cycle
