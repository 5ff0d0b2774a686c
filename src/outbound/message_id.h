#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace tidewire::outbound {

// Draws the random letters of Message-IDs. One generator seeded once serves every message, so
// two messages written within the same clock tick still get different Message-IDs.
class MessageIdSource {
 public:
  static constexpr std::size_t kLetters = 30;

  explicit MessageIdSource(std::uint64_t seed);

  // Thirty letters, each drawn uniformly from "a" to "y".
  [[nodiscard]] std::string NextLetters();

 private:
  std::mt19937_64 engine_;
  std::uniform_int_distribution<int> letter_{0, 24};
};

// The program's one source, seeded from the system's entropy the first time it is used.
[[nodiscard]] MessageIdSource& ProgramMessageIds();

}  // namespace tidewire::outbound
