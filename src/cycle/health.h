#pragma once

#include <ctime>
#include <filesystem>
#include <string>

#include "base/operator.h"

namespace tidewire::cycle {

// When mail last moved through the station, kept in the file HEALTH after every pass, so that
// an unattended station whose provider, client or FBB stopped moving mail says so instead of
// ending every pass with success. Times are seconds since 1970; 0 is never (or nothing waits).
struct Health {
  std::time_t last_good_pass = 0;        // the last pass that completed with every client run well
  std::time_t last_fetch = 0;            // the last fetch run that ended with status 0
  std::time_t last_send = 0;             // the last send run that ended with status 0
  std::time_t mailin_waiting_since = 0;  // a mail.in FBB has not taken, seen first then
  std::time_t packet_waiting_since = 0;  // an unsent reply packet, seen first then
};

// A time of HEALTH for people: "2026-12-09 12:52" in local time, or "never" for 0.
[[nodiscard]] std::string WhenText(std::time_t when);

// HEALTH as the last pass left it; a missing file or line reads as never.
[[nodiscard]] Health ReadHealth(const std::filesystem::path& work_dir);
void WriteHealth(const std::filesystem::path& work_dir, const Health& health);

// How long mail may stand still before the station counts as unwell: HEALTH.MIN (minutes),
// 30 when there is none.
[[nodiscard]] int StillMinutes(const std::filesystem::path& work_dir);

// Why mail has not moved for longer than `minutes` (a fetch, a send, FBB's import), or "" when
// it moves.
[[nodiscard]] std::string MailNotMoving(const Health& health, std::time_t now, int minutes);

// HEALTH in one line for the window and the console: when mail last moved, what waits, and
// why it does not move when it has stood still longer than HEALTH.MIN.
[[nodiscard]] std::string HealthSummary(const Health& health, const std::string& not_moving);

// Shows the station's HEALTH to the operator; a HEALTH that cannot be read shows nothing.
void ShowStationHealth(const std::filesystem::path& work_dir, std::time_t now, Operator& op);

}  // namespace tidewire::cycle
