#pragma once

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "base/operator.h"

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
};

// Writes the bytes as the whole file; the fuzzer's own set-up, outside the code under test.
inline void Put(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace tidewire::fuzz
