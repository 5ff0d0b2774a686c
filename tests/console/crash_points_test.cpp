// Whole AutoGO passes killed with SIGKILL: right after the Nth file operation of each kind
// (points spread over the pass, every point with TIDEWIRE_CRASH_SWEEP=all) and at random
// instants (TIDEWIRE_CRASH_RANDOM runs, seed TIDEWIRE_CRASH_SEED). The passes after the kill
// bring every message out exactly once and the station never stays blocked; a table of the
// points with a duplicate is printed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "console/busy_station.h"

namespace tidewire {
namespace {

using tidewire::testing::BusyStation;
using tidewire::testing::ConsoleProcess;
using tidewire::testing::ConsoleResult;
using tidewire::testing::ReadBytes;
namespace fs = std::filesystem;

int EnvNumber(const char* name, int otherwise) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::atoi(value) : otherwise;
}

struct Tally {
  int tried = 0;
  int messages_in = 0;
  int messages_out = 0;
  std::map<std::string, std::vector<std::string>> duplicates;  // point -> messages

  void Print() const {
    std::cout << "crash points tried: " << tried << ", messages in: " << messages_in
              << ", came out: " << messages_out
              << ", points with a duplicate: " << duplicates.size() << "\n";
    for (const auto& [point, messages] : duplicates) {
      std::cout << "  duplicate after " << point << ":";
      for (const std::string& message : messages) std::cout << " \"" << message << "\"";
      std::cout << "\n";
    }
  }
};

// The passes after the killed one, and what came out in the end.
void RecoverAndCount(BusyStation& station, const std::string& point, std::string outputs,
                     Tally& tally) {
  ++tally.tried;
  EXPECT_TRUE(station.RunToRest(outputs)) << point << ": the station stays blocked\n" << outputs;
  for (const auto& [message, arrived] : station.Arrivals()) {
    ++tally.messages_in;
    tally.messages_out += arrived;
    EXPECT_GE(arrived, 1) << point << ": \"" << message << "\" was lost\n" << outputs;
    if (arrived > 1) tally.duplicates[point].push_back(message);
    EXPECT_LE(arrived, 1) << point << ": \"" << message << "\" came out twice";
  }
}

TEST(CrashPoints, AKilledPassLosesNothingAndNeverBlocksTheStation) {
  const std::map<std::string, int> calls = tidewire::testing::CallsOfAPass();
  ASSERT_GT(calls.at("write"), 10);
  Tally tally;
  for (const std::string& op : tidewire::testing::kFileOperations) {
    for (const int n : tidewire::testing::Points(calls.at(op), "TIDEWIRE_CRASH_SWEEP", 3)) {
      const std::string point = op + ":" + std::to_string(n);
      BusyStation station;
      const fs::path log = station.place.Work("fault.log");
      const ConsoleResult killed =
          station.Pass({"TIDEWIRE_CRASH=" + point, "TIDEWIRE_FAULT_LOG=" + log.string()});
      if (ReadBytes(log).empty()) continue;  // never got that far
      EXPECT_EQ(killed.exit_status, 128 + SIGKILL) << point << "\n" << killed.output;
      std::string where = ReadBytes(log);
      where = where.substr(0, where.find('\n'));
      RecoverAndCount(station, point + " (" + where.substr(where.rfind('/') + 1) + ")",
                      killed.output, tally);
    }
  }

  // Random instants over a clean pass's length.
  const auto start = std::chrono::steady_clock::now();
  {
    BusyStation timing;
    (void)timing.Pass({});
  }
  const auto pass_length = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);
  const int seed = EnvNumber("TIDEWIRE_CRASH_SEED", 20261209);
  std::mt19937 random(static_cast<unsigned>(seed));
  std::uniform_int_distribution<long> instant(0, pass_length.count());
  for (int run = EnvNumber("TIDEWIRE_CRASH_RANDOM", 6); run > 0; --run) {
    const long after = instant(random);
    const std::string point = "random " + std::to_string(after / 1000) + " ms";
    BusyStation station;
    {
      ConsoleProcess process(station.place.WorkDir(), station.Env({}));
      std::this_thread::sleep_for(std::chrono::microseconds(after));
      process.Kill();
    }
    station.AfterPass();
    RecoverAndCount(station, point, "", tally);
  }
  std::cout << "random seed " << seed << ", clean pass " << pass_length.count() / 1000 << " ms\n";
  tally.Print();
  EXPECT_GT(tally.tried, 15);
}

}  // namespace
}  // namespace tidewire
