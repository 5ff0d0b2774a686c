#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>

#include "base/operator.h"
#include "base/shared_types.h"

namespace tidewire::cycle {

// Appends the pass's counters and latest BID, stamped NOW, to TWIRE.LOG in WORK_DIR, starting
// the file afresh once it has reached 50 000 bytes.
void WriteRunLog(const std::filesystem::path& work_dir, const RunCounters& counters,
                 std::int32_t latest_bid, std::time_t now);

// The "LOG" button: every line of TWIRE.LOG to the status list, or an error box when there is
// no log.
void ListRunLog(const std::filesystem::path& work_dir, Operator& op);

}  // namespace tidewire::cycle
