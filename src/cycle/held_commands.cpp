#include "cycle/held_commands.h"

#include "inbound/held_queue.h"
#include "inbound/traffic_log.h"

namespace tidewire::cycle {

namespace {

std::string Line(const inbound::HeldMessage& held) {
  return " " + std::to_string(held.number) + "  " + held.sender + "  \"" + held.subject + "\"  " +
         std::to_string(held.size) + " bytes  " + held.reason +
         (held.released ? "  (released)" : "");
}

void SayNoSuch(Station& station, int n) {
  station.Status(" No held e-mail " + std::to_string(n) + " (HELD lists them)");
}

}  // namespace

std::vector<std::string> HeldLines(const Station& station) {
  std::vector<std::string> lines;
  for (const inbound::HeldMessage& held : inbound::ListHeld(station.work_dir)) {
    lines.push_back(Line(held));
  }
  return lines;
}

void ShowHeld(Station& station) {
  const std::vector<std::string> lines = HeldLines(station);
  station.Status(lines.empty() ? " Nothing is held." : " Held off the air:");
  for (const std::string& line : lines) station.Status(line);
}

bool ReleaseHeldMessage(Station& station, int n) {
  const auto held = inbound::ReleaseHeld(station.work_dir, n);
  if (!held) {
    SayNoSuch(station, n);
    return false;
  }
  station.Status(" Released " + std::to_string(n) + ": the next pass puts it on the air");
  return true;
}

bool DropHeldMessage(Station& station, int n) {
  const auto held = inbound::DropHeld(station.work_dir, n);
  if (!held) {
    SayNoSuch(station, n);
    return false;
  }
  inbound::LogTraffic(station.work_dir,
                      {station.Now(), "in", held->sender, "", held->subject,
                       "HELD " + std::to_string(n), held->size, inbound::Verdict::kDropped});
  station.Status(" Dropped " + std::to_string(n) + ": kept in HELD/DROPPED");
  return true;
}

}  // namespace tidewire::cycle
