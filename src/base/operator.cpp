#include "base/operator.h"

#include <string>

namespace tidewire {

void Operator::StartTimer() {
  if (!timer_on_) ticks_from_ = std::chrono::steady_clock::now();
  timer_on_ = true;
}

void Operator::ResetTicks() { ticks_from_ = std::chrono::steady_clock::now(); }

int Operator::Ticks() {
  if (!timer_on_) return 0;
  const auto elapsed = std::chrono::steady_clock::now() - ticks_from_;
  return static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count());
}

void ErrorBox(Operator& op, std::string_view text) {
  (void)op.ShowBox(BoxKind::kError, Buttons::kOk, text);
}

void OpenFailureBox(Operator& op, std::string_view target, std::string_view why) {
  if (!why.empty())
    ErrorBox(op, "Could not open " + std::string(target) + ":\r" + std::string(why));
}

void WarningBox(Operator& op, std::string_view text) {
  (void)op.ShowBox(BoxKind::kWarning, Buttons::kOk, text);
}

void InformationBox(Operator& op, std::string_view text) {
  (void)op.ShowBox(BoxKind::kInformation, Buttons::kOk, text);
}

Answer EscapeAnswer(Buttons buttons) {
  switch (buttons) {
    case Buttons::kOk:
      return Answer::kOk;
    case Buttons::kOkCancel:
      return Answer::kCancel;
    case Buttons::kYesNo:
      return Answer::kNo;
    case Buttons::kYes:
      return Answer::kYes;
  }
  return Answer::kOk;
}

}  // namespace tidewire
