#pragma once

// Messages held off the air wait in the station folder HELD/ until the operator releases or
// drops them:
//   HELD/<n>.MSG  the e-mail or article as it came, each line ended by CR LF
//   HELD/<n>.TXT  "name: value" lines: from, subject, size, reason, held (when); for a news
//                 article also "to:", the bulletin address it was to go to
// RELEASE renames <n>.MSG to <n>.REL: the next pass converts it as it would have been, past
// the checks. DROP moves both files to HELD/DROPPED/: nothing dropped is gone without a trace.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inbound/air_rules.h"

namespace tidewire::inbound {

struct HeldMessage {
  int number = 0;
  std::string sender;
  std::string subject;
  std::uint64_t size = 0;
  std::string reason;
  std::string held;       // when, "2026-12-09 17:40:00"
  std::string news_to;    // a news article's FBB address; empty for an e-mail
  bool released = false;  // waits for the next pass
};

// Keeps the message WRITE writes in HELD/ with what is known of it; returns its number.
int HoldMessage(const std::filesystem::path& work_dir, HeldMessage info, const RawWriter& write,
                std::time_t now);

// The held messages, lowest number first.
[[nodiscard]] std::vector<HeldMessage> ListHeld(const std::filesystem::path& work_dir);

// Marks message N for the next pass; nothing when there is no such message still held.
[[nodiscard]] std::optional<HeldMessage> ReleaseHeld(const std::filesystem::path& work_dir, int n);

// Moves message N to HELD/DROPPED/; nothing when there is no such message.
[[nodiscard]] std::optional<HeldMessage> DropHeld(const std::filesystem::path& work_dir, int n);

// The file of a released message, and taking it away once the pass has converted it.
[[nodiscard]] std::filesystem::path ReleasedFile(const std::filesystem::path& work_dir, int n);
void ForgetReleased(const std::filesystem::path& work_dir, int n);

}  // namespace tidewire::inbound
