#pragma once

// The operator's commands on the e-mails held off the air (HELD/), the same in every front end.
#include <string>
#include <vector>

#include "base/station.h"

namespace tidewire::cycle {

// One line per held e-mail: number, sender's address, subject, size, reason; "released" for
// one the next pass converts.
[[nodiscard]] std::vector<std::string> HeldLines(const Station& station);

// HELD: the list in the status list, or that nothing is held.
void ShowHeld(Station& station);

// RELEASE N and DROP N; false (after saying so) when no such e-mail is held.
bool ReleaseHeldMessage(Station& station, int n);
bool DropHeldMessage(Station& station, int n);

}  // namespace tidewire::cycle
