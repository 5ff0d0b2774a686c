#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "base/operator.h"
#include "platform/child_process.h"

namespace tidewire::bench {

// An operator that answers every box with its first button and prints nothing.
class QuietOperator : public Operator {
 public:
  void StatusLine(std::string_view) override {}
  void SetProgressLabel(std::string_view) override {}
  void SetStatus1(std::string_view) override {}
  void SetError1(std::string_view) override {}
  Answer ShowBox(BoxKind, Buttons buttons, std::string_view) override;
  void giveTurn() override {}
  std::optional<std::string> TypedAnswer(TypedQuestion) override { return std::nullopt; }
  bool WaitForChild(platform::ChildProcess& child,
                    std::optional<std::chrono::milliseconds> limit) override {
    return child.WaitFor(limit);
  }
};

// Seconds taken by a plain `cp` of the file (run as a child process, target in the same folder).
[[nodiscard]] double SecondsForCp(const std::filesystem::path& file);

// Peak resident memory of this process so far, in bytes.
[[nodiscard]] std::int64_t PeakResidentBytes();

// A fresh folder under the system's temporary folder.
[[nodiscard]] std::filesystem::path MakeBenchDir(const std::string& name);

[[nodiscard]] inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace tidewire::bench
