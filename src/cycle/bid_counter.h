#pragma once

#include <array>
#include <filesystem>
#include <string_view>

#include "base/operator.h"
#include "base/shared_types.h"

namespace tidewire::cycle {

// Reads TWIREBID.BIN of WORK_DIR into BID; when the file is missing, asks the operator whether
// to start at 1 and otherwise ends the program (EndProgram, kBidCounterRefused).
void LoadBidCounter(const std::filesystem::path& work_dir, BidCounter& bid, Operator& op);

// Writes BID to TWIREBID.BIN as its decimal digits, replacing the old file.
void SaveBidCounter(const std::filesystem::path& work_dir, const BidCounter& bid, Operator& op);

// The hints shown when the operator refuses a new counter file, one status line each.
[[nodiscard]] const std::array<std::string_view, 5>& BidRefusalHints();

}  // namespace tidewire::cycle
