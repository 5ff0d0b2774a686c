#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/operator.h"

namespace tidewire::console {

// The operator at a terminal: status lines and boxes are printed as they come, box answers and
// typed answers are read one line each from the input. Once the input has ended, every box takes
// the answer that guesses nothing and loses nothing (OK where it is the only button, otherwise
// No or Cancel) and prints it.
class ConsoleOperator : public Operator {
 public:
  ConsoleOperator(std::FILE* in, std::FILE* out);

  void StatusLine(std::string_view text) override;
  void SetProgressLabel(std::string_view text) override;
  void SetStatus1(std::string_view text) override;
  void SetError1(std::string_view text) override;
  void ShowHealth(std::string_view text, bool unwell) override;
  Answer ShowBox(BoxKind kind, Buttons buttons, std::string_view text) override;
  void giveTurn() override;
  std::optional<std::string> TypedAnswer(TypedQuestion question) override;
  int Ticks() override;
  void PlaySound(const std::filesystem::path& file) override;
  void Beep() override;
  bool WaitForChild(platform::ChildProcess& child,
                    std::optional<std::chrono::milliseconds> limit) override;

  // The next input line without its line end; empty once the input has ended.
  [[nodiscard]] std::optional<std::string> ReadInputLine();
  // True once a read has met the end of the input.
  [[nodiscard]] bool InputEnded() const { return input_ended_; }
  // Prints one line of the front end's own (not part of the status list).
  void Print(std::string_view text);

 private:
  std::FILE* in_;
  std::FILE* out_;
  bool input_ended_ = false;
  std::string status1_;
  std::string error1_;
  std::string health_;
  std::string progress_label_;
};

}  // namespace tidewire::console
