// Every kind of file operation of a pass made to fail, at points spread over the pass (every
// point with TIDEWIRE_FAULT_SWEEP=all, one with TIDEWIRE_FAULT_ONLY=op:N): the pass stops with
// the file layer's text in its box, and the passes after it, without faults, bring every
// message out at the other end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "console/busy_station.h"

namespace tidewire {
namespace {

using tidewire::testing::BusyStation;
using tidewire::testing::ConsoleResult;
using tidewire::testing::ReadBytes;
namespace fs = std::filesystem;

TEST(FaultInjection, AFailingFileOperationStopsThePassAndTheNextPassesLoseNothing) {
  const std::map<std::string, int> calls = tidewire::testing::CallsOfAPass();
  ASSERT_GT(calls.at("open"), 10);
  const char* only = std::getenv("TIDEWIRE_FAULT_ONLY");
  int tried = 0;
  for (const std::string& op : tidewire::testing::kFileOperations) {
    for (const int n : tidewire::testing::Points(calls.at(op), "TIDEWIRE_FAULT_SWEEP", 5)) {
      const std::string point = op + ":" + std::to_string(n);
      if (only != nullptr && point != only) continue;
      SCOPED_TRACE(point);
      BusyStation station;
      const fs::path log = station.place.Work("fault.log");
      const ConsoleResult faulty =
          station.Pass({"TIDEWIRE_FAULT=" + point, "TIDEWIRE_FAULT_LOG=" + log.string()});
      if (ReadBytes(log).empty()) continue;  // a pass that never got that far
      ++tried;
      // A failure the pass checks stops it with the file layer's words; a copy whose success
      // is not checked (a backup) lets it complete.
      ASSERT_TRUE(faulty.exit_status == 0 || faulty.exit_status == 7) << faulty.output;
      if (faulty.exit_status == 7) {
        EXPECT_TRUE(faulty.output.find("File access denied") != std::string::npos ||
                    faulty.output.find("Disk full") != std::string::npos ||
                    faulty.output.find("I/O error") != std::string::npos)
            << faulty.output;
      }
      std::string outputs = faulty.output;
      EXPECT_TRUE(station.RunToRest(outputs)) << "the station stays blocked\n" << outputs;
      for (const auto& [message, arrived] : station.Arrivals()) {
        EXPECT_GE(arrived, 1) << message << " was lost\n" << outputs;
      }
    }
  }
  if (only == nullptr) {
    EXPECT_GT(tried, 20);
  }
}

}  // namespace
}  // namespace tidewire
