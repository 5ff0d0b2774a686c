#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/errors.h"

namespace tidewire {

namespace platform {
class ChildProcess;
}

// The four kinds of message box; they differ only in their icon.
enum class BoxKind { kError, kWarning, kInformation, kConfirmation };

// The fixed button sets of a message box.
enum class Buttons { kOk, kOkCancel, kYesNo, kYes };

// The button the operator pressed.
enum class Answer { kOk, kCancel, kYes, kNo };

// What the first-run dialogue asks the operator to type.
enum class TypedQuestion { kYesNoLetter, kBidNumber, kWatchdogMinutes, kBackupFolder };

// The one port through which the core talks to the person at the console. Line breaks inside
// a box text are single CR characters.
class Operator {
 public:
  virtual ~Operator() = default;

  // Appends a line to the status list and selects it.
  virtual void StatusLine(std::string_view text) = 0;
  // The progress label: file in work and latest bulletin-ID number.
  virtual void SetProgressLabel(std::string_view text) = 0;
  // The state field ("Ready to GO!", "PROCESSING", ...).
  virtual void SetStatus1(std::string_view text) = 0;
  // The activity field ("Idle", "Starting", the countdown seconds).
  virtual void SetError1(std::string_view text) = 0;
  // A modal message box; returns the button pressed.
  virtual Answer ShowBox(BoxKind kind, Buttons buttons, std::string_view text) = 0;
  // One turn of the event loop.
  virtual void giveTurn() = 0;
  // A line the operator types in answer to the first-run dialogue; empty when none comes.
  virtual std::optional<std::string> TypedAnswer(TypedQuestion question) = 0;

  // The one-second timer that drives the countdowns. Once switched on it stays on. The
  // defaults count real seconds; a front end with an event loop of its own overrides them.
  virtual void StartTimer();
  // Sets the tick count to 0.
  virtual void ResetTicks();
  // Ticks of the timer since the last ResetTicks (0 while the timer is off).
  [[nodiscard]] virtual int Ticks();
  // Plays a sound file to its end; the default plays nothing.
  virtual void PlaySound(const std::filesystem::path& file) { (void)file; }
  // The standard system beep; the default makes none.
  virtual void Beep() {}
  // How mail moves through the station (HEALTH), after every pass and at start; `unwell`
  // when it has stood still too long. The default shows nothing.
  virtual void ShowHealth(std::string_view text, bool unwell) {
    (void)text;
    (void)unwell;
  }
  // Waits for a SOUP client run as ChildProcess::WaitFor does (true once it has ended). A
  // window keeps painting meanwhile; a terminal simply blocks.
  virtual bool WaitForChild(platform::ChildProcess& child,
                            std::optional<std::chrono::milliseconds> limit) = 0;

 private:
  bool timer_on_ = false;
  std::chrono::steady_clock::time_point ticks_from_{};
};

// The answer of a box closed without a button, or answered by nobody: the one that guesses
// nothing and loses nothing (OK where it is alone, else Cancel or No).
[[nodiscard]] Answer EscapeAnswer(Buttons buttons);

// Shorthand for the single-button boxes.
void ErrorBox(Operator& op, std::string_view text);
// When WHY is not empty: an error box "Could not open TARGET:" with WHY on its second line.
void OpenFailureBox(Operator& op, std::string_view target, std::string_view why);
void WarningBox(Operator& op, std::string_view text);
void InformationBox(Operator& op, std::string_view text);

// The one failure policy of an operator command, in every front end: a file error or a
// conversion error that leaves the command is shown in an error box (a file error with its file
// on a line of its own), the rest of the command is skipped, and the program waits for the next
// one. Anything else (EndProgram above all) passes. False when the command failed.
template <typename Command>
bool RunShowingErrors(Operator& op, Command&& command) {
  try {
    std::forward<Command>(command)();
    return true;
  } catch (const IoError& error) {
    ErrorBox(op, error.BoxText());
  } catch (const ConversionError& error) {
    ErrorBox(op, error.what());
  }
  return false;
}

}  // namespace tidewire
