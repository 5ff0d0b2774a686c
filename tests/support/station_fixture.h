#pragma once

// A station in a fresh temporary folder, with an operator that answers from a script and a
// clock that stands still: where the core's tests start.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string_view>

#include "base/station.h"
#include "support/scripted_operator.h"
#include "support/temp_dir.h"

namespace tidewire::testing {

class StationTest : public ::testing::Test {
 protected:
  // Mon, 7 Dec 2026 10:00:00 UTC.
  static constexpr std::time_t kStationTime = 1796637600;

  StationTest() {
    station_.clock = [] { return kStationTime; };
  }

  // A file of the station's folder.
  [[nodiscard]] std::filesystem::path File(std::string_view name) const { return dir_ / name; }

  TempDir dir_;
  ScriptedOperator op_;
  Station station_{op_, dir_.path()};
};

}  // namespace tidewire::testing
