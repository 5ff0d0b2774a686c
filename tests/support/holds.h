#pragma once

// Whether a text holds a part, or a list of lines a line: the one helper the tests share, with
// the whole text or list shown when the check fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tidewire::testing {

inline ::testing::AssertionResult Holds(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "missing \"" << part << "\" in:\n" << text;
}

inline ::testing::AssertionResult Holds(const std::vector<std::string>& lines,
                                        const std::string& line) {
  if (std::find(lines.begin(), lines.end(), line) != lines.end()) {
    return ::testing::AssertionSuccess();
  }
  auto failure = ::testing::AssertionFailure() << "missing line [" << line << "] in:\n";
  for (const std::string& each : lines) failure << "  [" << each << "]\n";
  return failure;
}

inline ::testing::AssertionResult Lacks(const std::string& text, const std::string& part) {
  if (text.find(part) == std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "unexpected \"" << part << "\" in:\n" << text;
}

}  // namespace tidewire::testing
