#pragma once

#include <array>
#include <string_view>

#include "base/station.h"

namespace tidewire::cycle {

// Reads TWIREBID.BIN into the station's BidCounter; when the file is missing, asks the operator
// whether to start at 1 and otherwise ends the program (EndProgram, kBidCounterRefused).
void LoadBidCounter(Station& station);

// Writes the BidCounter to TWIREBID.BIN as its decimal digits, replacing the old file.
void SaveBidCounter(Station& station);

// The hints shown when the operator refuses a new counter file, one status line each.
[[nodiscard]] const std::array<std::string_view, 5>& BidRefusalHints();

}  // namespace tidewire::cycle
