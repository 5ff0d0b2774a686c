#include "console/console_operator.h"

#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <thread>
#include <vector>

#include "base/file_layer.h"
#include "base/text.h"
#include "platform/child_process.h"
#include "platform/sound.h"

namespace tidewire::console {

namespace {

const char* KindName(BoxKind kind) {
  switch (kind) {
    case BoxKind::kError:
      return "Error";
    case BoxKind::kWarning:
      return "Warning";
    case BoxKind::kInformation:
      return "Information";
    case BoxKind::kConfirmation:
      return "Confirmation";
  }
  return "Message";
}

struct Choice {
  const char* caption;
  Answer answer;
};

// The buttons of a set, the unattended answer last.
std::vector<Choice> ChoicesOf(Buttons buttons) {
  switch (buttons) {
    case Buttons::kOk:
      return {{"OK", Answer::kOk}};
    case Buttons::kOkCancel:
      return {{"OK", Answer::kOk}, {"Cancel", Answer::kCancel}};
    case Buttons::kYesNo:
      return {{"Yes", Answer::kYes}, {"No", Answer::kNo}};
    case Buttons::kYes:
      return {{"Yes", Answer::kYes}};
  }
  return {{"OK", Answer::kOk}};
}

std::string_view Stripped(std::string_view line) {
  const std::size_t start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  const std::size_t end = line.find_last_not_of(" \t");
  return line.substr(start, end - start + 1);
}

}  // namespace

ConsoleOperator::ConsoleOperator(std::FILE* in, std::FILE* out) : in_(in), out_(out) {}

void ConsoleOperator::Print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

void ConsoleOperator::StatusLine(std::string_view text) { Print(text); }

// The progress label changes with every message of a conversion; the status lines already tell
// the story on a terminal, so it is kept but not printed.
void ConsoleOperator::SetProgressLabel(std::string_view text) { progress_label_ = text; }

void ConsoleOperator::SetStatus1(std::string_view text) {
  if (text == status1_) return;
  status1_ = text;
  Print("[State] " + status1_);
}

void ConsoleOperator::SetError1(std::string_view text) {
  if (text == error1_) return;
  error1_ = text;
  Print("[Activity] " + error1_);
}

// Printed when it changes, so that an unattended run's journal says how the station is.
void ConsoleOperator::ShowHealth(std::string_view text, bool unwell) {
  if (text == health_) return;
  health_ = text;
  Print(std::string(unwell ? "[Health] *** " : "[Health] ") + health_);
}

Answer ConsoleOperator::ShowBox(BoxKind kind, Buttons buttons, std::string_view text) {
  Print(std::string("[") + KindName(kind) + " box]");
  std::size_t start = 0;
  for (;;) {
    const std::size_t cr = text.find('\r', start);
    Print("| " + std::string(text.substr(start, cr - start)));
    if (cr == std::string_view::npos) break;
    start = cr + 1;
  }
  const std::vector<Choice> choices = ChoicesOf(buttons);
  std::string prompt;
  for (const Choice& choice : choices) prompt += std::string("[") + choice.caption + "] ";
  Print(prompt + "?");
  for (;;) {
    const std::optional<std::string> line = ReadInputLine();
    if (!line) {
      const Choice& unattended = choices.back();
      Print(std::string("Answer: ") + unattended.caption + " (end of input)");
      return unattended.answer;
    }
    for (const Choice& choice : choices) {
      if (EqualsIgnoringCase(Stripped(*line), choice.caption)) {
        Print(std::string("Answer: ") + choice.caption);
        return choice.answer;
      }
    }
    std::string help = "Please answer with one of:";
    for (const Choice& choice : choices) help += std::string(" ") + choice.caption;
    Print(help);
  }
}

void ConsoleOperator::giveTurn() { std::fflush(out_); }

// Only the countdowns read the clock, in a loop that gives turns until enough seconds have
// passed. A terminal has no events to wait for, so each reading waits a little instead of
// spinning.
int ConsoleOperator::Ticks() {
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return Operator::Ticks();
}

// Played to its end when the station has both the player and the file; a missing one plays
// nothing.
void ConsoleOperator::PlaySound(const std::filesystem::path& file) {
  const std::filesystem::path real = ResolvePath(file);
  if (!FileIsPresent(real)) return;
  Print("[Sound] " + real.filename().string());
  platform::PlaySoundFile(real);
}

void ConsoleOperator::Beep() {
  std::fputc('\a', out_);
  std::fflush(out_);
}

bool ConsoleOperator::WaitForChild(platform::ChildProcess& child,
                                   std::optional<std::chrono::milliseconds> limit) {
  return child.WaitFor(limit);
}

std::optional<std::string> ConsoleOperator::TypedAnswer(TypedQuestion question) {
  // The question itself is the status line just printed; the folder is asked here.
  if (question == TypedQuestion::kBackupFolder) Print("Folder for the backup:");
  std::optional<std::string> line = ReadInputLine();
  if (!line) Print("(end of input: nothing typed)");
  return line;
}

std::optional<std::string> ConsoleOperator::ReadInputLine() {
  if (input_ended_) return std::nullopt;
  std::fflush(out_);
  char* buffer = nullptr;
  std::size_t capacity = 0;
  const ssize_t length = getline(&buffer, &capacity, in_);
  if (length < 0) {
    free(buffer);
    input_ended_ = true;
    return std::nullopt;
  }
  std::string line(buffer, static_cast<std::size_t>(length));
  free(buffer);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

}  // namespace tidewire::console
