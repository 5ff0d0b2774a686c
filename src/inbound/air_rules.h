#pragma once

// What may go on the air. Each rule is switched on by its station file; without the file every
// message passes as it always did.
//   ACCEPT.LST  addresses and @domains whose non-personal mail may reach FBB
//   FILTER.CMD  a shell command that judges each message on its standard input
//   MAXSIZE     the largest message, in bytes, that goes on the air
#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_layer.h"

namespace tidewire::inbound {

// Writes a message's bytes into a file it is given, so that no message is held whole in memory.
using RawWriter = std::function<void(BinaryWriter&)>;

enum class Verdict { kPassed, kHeld, kDropped, kReleased };

// The word TRAFFIC.LOG writes for a verdict.
[[nodiscard]] std::string_view VerdictWord(Verdict verdict);

struct Judgement {
  Verdict verdict = Verdict::kPassed;
  std::string reason;  // why it was held or dropped
};

struct AirRules {
  std::optional<std::vector<std::string>> accept;  // ACCEPT.LST's entries, lower case
  std::string filter_command;                      // FILTER.CMD's line; "" when none
  std::optional<std::uint64_t> max_size;           // MAXSIZE
  // A filter that has not answered by then holds the message.
  std::chrono::seconds filter_time{60};

  // The rules of the station in WORK_DIR as its files say now.
  [[nodiscard]] static AirRules Read(const std::filesystem::path& work_dir);

  // Whether an article is judged at all (the acceptlist is for e-mail only).
  [[nodiscard]] bool ChecksArticles() const { return max_size || !filter_command.empty(); }

  // Whether any rule is on: only then does TRAFFIC.LOG record what passes.
  [[nodiscard]] bool Watched() const { return accept || !filter_command.empty() || max_size; }

  // Whether ACCEPT.LST lets non-personal mail from ADDRESS through (always without a list).
  [[nodiscard]] bool Accepts(std::string_view address) const;

  // The checks every incoming message of SIZE bytes passes: its size, then the filter, which
  // reads what WRITE writes. Nothing the filter does can lose the message (any failure holds).
  [[nodiscard]] Judgement JudgeSizeAndFilter(const std::filesystem::path& work_dir,
                                             std::uint64_t size, const RawWriter& write) const;
};

// The address of a From: line, lower case: the one in angle brackets, otherwise the first word
// with an "@". Never the display name, which anyone can make look like an address.
[[nodiscard]] std::string SenderAddress(std::string_view from_line);

// A packet user wrote to ADDRESS: it joins ACCEPT.LST (when the list is on and does not accept it
// already) with the date and the user's call, so that the answer reaches the air.
void AddCorrespondent(const std::filesystem::path& work_dir, std::string_view address,
                      std::string_view call, std::time_t now);

}  // namespace tidewire::inbound
