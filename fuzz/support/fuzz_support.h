#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "base/operator.h"
#include "platform/child_process.h"
#include "support/fbb_import.h"

namespace tidewire::fuzz {

// Shows nothing and answers every box with OK.
class NullOperator : public Operator {
 public:
  void StatusLine(std::string_view) override {}
  void SetProgressLabel(std::string_view) override {}
  void SetStatus1(std::string_view) override {}
  void SetError1(std::string_view) override {}
  Answer ShowBox(BoxKind, Buttons, std::string_view) override { return Answer::kOk; }
  void giveTurn() override {}
  std::optional<std::string> TypedAnswer(TypedQuestion) override { return std::nullopt; }
  bool WaitForChild(platform::ChildProcess& child,
                    std::optional<std::chrono::milliseconds> limit) override {
    return child.WaitFor(limit);
  }
};

// Writes the bytes as the whole file; the fuzzer's own set-up, outside the code under test.
inline void Put(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Stops the run when FBB, reading MAIL.IN in its 79-byte pieces, would find other messages than
// the gateway wrote: one cut short, dropped, injected or with a bulletin ID twice.
inline void RequireFbbReadsAsWritten(const std::filesystem::path& mail_in) {
  std::ifstream in(mail_in, std::ios::binary);
  if (!in) return;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string faults = tidewire::testing::FbbReadingFaults(bytes);
  if (!faults.empty()) {
    std::fprintf(stderr, "MAIL.IN read otherwise by FBB:\n%s", faults.c_str());
    std::abort();
  }
}

}  // namespace tidewire::fuzz
