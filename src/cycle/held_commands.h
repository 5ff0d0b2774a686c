#pragma once

// The operator's commands on the e-mails held off the air (HELD/), the same in every front end.
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "base/operator.h"

namespace tidewire::cycle {

// One line per held e-mail: number, sender's address, subject, size, reason; "released" for
// one the next pass converts.
[[nodiscard]] std::vector<std::string> HeldLines(const std::filesystem::path& work_dir);

// HELD: the list in the status list, or that nothing is held.
void ShowHeld(const std::filesystem::path& work_dir, Operator& op);

// RELEASE N and DROP N; false (after saying so) when no such e-mail is held.
bool ReleaseHeldMessage(const std::filesystem::path& work_dir, Operator& op, int n);
// DROP N; TRAFFIC.LOG records it with the time NOW.
bool DropHeldMessage(const std::filesystem::path& work_dir, Operator& op, std::time_t now, int n);

}  // namespace tidewire::cycle
