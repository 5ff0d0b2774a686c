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

void SayNoSuch(Operator& op, int n) {
  op.StatusLine(" No held e-mail " + std::to_string(n) + " (HELD lists them)");
}

}  // namespace

std::vector<std::string> HeldLines(const std::filesystem::path& work_dir) {
  std::vector<std::string> lines;
  for (const inbound::HeldMessage& held : inbound::ListHeld(work_dir)) {
    lines.push_back(Line(held));
  }
  return lines;
}

void ShowHeld(const std::filesystem::path& work_dir, Operator& op) {
  const std::vector<std::string> lines = HeldLines(work_dir);
  op.StatusLine(lines.empty() ? " Nothing is held." : " Held off the air:");
  for (const std::string& line : lines) op.StatusLine(line);
}

bool ReleaseHeldMessage(const std::filesystem::path& work_dir, Operator& op, int n) {
  const auto held = inbound::ReleaseHeld(work_dir, n);
  if (!held) {
    SayNoSuch(op, n);
    return false;
  }
  op.StatusLine(" Released " + std::to_string(n) + ": the next pass puts it on the air");
  return true;
}

bool DropHeldMessage(const std::filesystem::path& work_dir, Operator& op, std::time_t now, int n) {
  const auto held = inbound::DropHeld(work_dir, n);
  if (!held) {
    SayNoSuch(op, n);
    return false;
  }
  inbound::LogTraffic(work_dir,
                      {now, "in", held->sender, "", held->subject, "HELD " + std::to_string(n),
                       held->size, inbound::Verdict::kDropped});
  op.StatusLine(" Dropped " + std::to_string(n) + ": kept in HELD/DROPPED");
  return true;
}

}  // namespace tidewire::cycle
