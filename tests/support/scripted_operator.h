#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "base/operator.h"

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
  void giveTurn() override { ++turns; }
  std::optional<std::string> TypedAnswer(TypedQuestion question) override;

  // Fails the test when scripted boxes were not shown.
  void VerifyAllShown();

  std::vector<std::string> status_lines;
  std::vector<ShownBox> boxes;
  std::string progress_label;
  std::string status1;
  std::string error1;
  int turns = 0;
  std::vector<TypedQuestion> questions;

 private:
  struct Expected {
    ShownBox box;
    Answer answer;
  };
  std::deque<Expected> script_;
  std::deque<std::optional<std::string>> typed_;
  bool verified_ = false;
};

}  // namespace tidewire::testing
