#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/operator.h"
#include "platform/child_process.h"

namespace tidewire::testing {

// One message box as it was shown.
struct ShownBox {
  BoxKind kind;
  Buttons buttons;
  std::string text;
};

// An operator that records what the core showed and answers boxes from a script. A box the
// script did not expect fails the test.
class ScriptedOperator : public Operator {
 public:
  ~ScriptedOperator() override;

  // The next box must have this kind, buttons and text; it is answered with `answer`.
  ScriptedOperator& ExpectBox(BoxKind kind, Buttons buttons, std::string text, Answer answer);
  // Shorthand for a single-button box answered OK.
  ScriptedOperator& ExpectOk(BoxKind kind, std::string text);
  // The next typed answer of the first-run dialogue (nullopt: the operator types nothing).
  ScriptedOperator& ThenType(std::optional<std::string> line);

  void StatusLine(std::string_view text) override;
  void SetProgressLabel(std::string_view text) override;
  void SetStatus1(std::string_view text) override;
  void SetError1(std::string_view text) override;
  Answer ShowBox(BoxKind kind, Buttons buttons, std::string_view text) override;
  // A turn is a tick of the timer once it is on, so countdowns run without waiting.
  void giveTurn() override;
  std::optional<std::string> TypedAnswer(TypedQuestion question) override;
  void StartTimer() override { timer_on = true; }
  void ResetTicks() override { ticks = 0; }
  int Ticks() override { return ticks; }
  void PlaySound(const std::filesystem::path& file) override;
  void Beep() override { beeps.push_back(status_lines.size()); }
  bool WaitForChild(platform::ChildProcess& child,
                    std::optional<std::chrono::milliseconds> limit) override {
    return child.WaitFor(limit);
  }
  void ShowHealth(std::string_view text, bool unwell) override {
    health = (unwell ? "*** " : "") + std::string(text);
  }

  // Runs `action` (once) in the turn that brings the timer to `tick`; the action's own turns
  // are no ticks.
  ScriptedOperator& AtTick(int tick, std::function<void()> action);

  // Fails the test when scripted boxes were not shown.
  void VerifyAllShown();

  std::vector<std::string> status_lines;
  std::string health;  // the last ShowHealth, "*** " in front when unwell
  std::vector<ShownBox> boxes;
  std::string progress_label;
  std::string status1;
  std::string error1;
  int turns = 0;
  std::vector<TypedQuestion> questions;
  std::vector<std::string> error1_history;  // every text the activity field was given
  bool timer_on = false;
  int ticks = 0;
  std::vector<std::string> sounds;  // file names, in the order played
  std::vector<std::size_t> beeps;   // the number of status lines at each beep

 private:
  struct Expected {
    ShownBox box;
    Answer answer;
  };
  std::deque<Expected> script_;
  std::deque<std::optional<std::string>> typed_;
  std::map<int, std::function<void()>> at_tick_;
  bool in_action_ = false;
  bool verified_ = false;
};

}  // namespace tidewire::testing
