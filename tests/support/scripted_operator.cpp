#include "support/scripted_operator.h"

#include <gtest/gtest.h>

namespace tidewire::testing {

namespace {

const char* KindName(BoxKind kind) {
  switch (kind) {
    case BoxKind::kError:
      return "error";
    case BoxKind::kWarning:
      return "warning";
    case BoxKind::kInformation:
      return "information";
    case BoxKind::kConfirmation:
      return "confirmation";
  }
  return "?";
}

Answer DefaultAnswer(Buttons buttons) { return EscapeAnswer(buttons); }

}  // namespace

ScriptedOperator::~ScriptedOperator() {
  if (!verified_) VerifyAllShown();
}

ScriptedOperator& ScriptedOperator::ExpectBox(BoxKind kind, Buttons buttons, std::string text,
                                              Answer answer) {
  script_.push_back({{kind, buttons, std::move(text)}, answer});
  return *this;
}

ScriptedOperator& ScriptedOperator::ExpectOk(BoxKind kind, std::string text) {
  return ExpectBox(kind, Buttons::kOk, std::move(text), Answer::kOk);
}

ScriptedOperator& ScriptedOperator::ThenType(std::optional<std::string> line) {
  typed_.push_back(std::move(line));
  return *this;
}

void ScriptedOperator::StatusLine(std::string_view text) { status_lines.emplace_back(text); }
void ScriptedOperator::SetProgressLabel(std::string_view text) { progress_label = text; }
void ScriptedOperator::SetStatus1(std::string_view text) { status1 = text; }
void ScriptedOperator::SetError1(std::string_view text) {
  error1 = text;
  error1_history.emplace_back(text);
}

void ScriptedOperator::giveTurn() {
  ++turns;
  if (!timer_on || in_action_) return;
  ++ticks;
  const auto found = at_tick_.find(ticks);
  if (found == at_tick_.end()) return;
  const std::function<void()> action = std::move(found->second);
  at_tick_.erase(found);
  in_action_ = true;
  action();
  in_action_ = false;
}

void ScriptedOperator::PlaySound(const std::filesystem::path& file) {
  sounds.push_back(file.filename().string());
}

ScriptedOperator& ScriptedOperator::AtTick(int tick, std::function<void()> action) {
  at_tick_[tick] = std::move(action);
  return *this;
}

Answer ScriptedOperator::ShowBox(BoxKind kind, Buttons buttons, std::string_view text) {
  boxes.push_back({kind, buttons, std::string(text)});
  if (script_.empty()) {
    ADD_FAILURE() << "unexpected " << KindName(kind) << " box: \"" << text << "\"";
    return DefaultAnswer(buttons);
  }
  Expected expected = std::move(script_.front());
  script_.pop_front();
  EXPECT_EQ(KindName(expected.box.kind), std::string(KindName(kind))) << "box: " << text;
  EXPECT_EQ(static_cast<int>(expected.box.buttons), static_cast<int>(buttons)) << "box: " << text;
  EXPECT_EQ(expected.box.text, text);
  return expected.answer;
}

std::optional<std::string> ScriptedOperator::TypedAnswer(TypedQuestion question) {
  questions.push_back(question);
  if (typed_.empty()) {
    ADD_FAILURE() << "unexpected typed question";
    return std::nullopt;
  }
  auto line = std::move(typed_.front());
  typed_.pop_front();
  return line;
}

void ScriptedOperator::VerifyAllShown() {
  verified_ = true;
  for (const Expected& e : script_) {
    ADD_FAILURE() << "expected " << KindName(e.box.kind) << " box not shown: \"" << e.box.text
                  << "\"";
  }
  script_.clear();
}

}  // namespace tidewire::testing
