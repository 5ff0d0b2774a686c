#pragma once

#include "base/station.h"

namespace tidewire::cycle {

// Appends the pass's counters and latest BID to TWIRE.LOG, starting the file afresh once it
// has reached 50 000 bytes.
void WriteRunLog(Station& station);

// The "LOG" button: every line of TWIRE.LOG to the status list, or an error box when there is
// no log.
void ListRunLog(Station& station);

}  // namespace tidewire::cycle
