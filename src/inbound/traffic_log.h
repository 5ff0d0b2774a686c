#pragma once

// TRAFFIC.LOG: the station's record of third-party traffic, one line per message that came
// through the gateway in either direction and what became of it. Fields are separated by a TAB:
//   2026-12-09 17:40:00  in  ann@x.example  SP XX2DEF @ XX0BBS  Subject  <id@x>  1234  passed
// Started afresh at 50 000 bytes; the previous file stays as TRAFFIC.LOG.1.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>

#include "inbound/air_rules.h"

namespace tidewire::inbound {

struct TrafficEntry {
  std::time_t when = 0;
  std::string direction;  // "in" or "out"
  std::string sender;
  std::string recipients;
  std::string subject;
  std::string id;  // Message-ID or bulletin ID
  std::uint64_t size = 0;
  Verdict verdict = Verdict::kPassed;
};

void LogTraffic(const std::filesystem::path& work_dir, const TrafficEntry& entry);

// A station keeps the log once it has one, also with every rule of the air switched off.
[[nodiscard]] bool TrafficLogKept(const std::filesystem::path& work_dir);

}  // namespace tidewire::inbound
