#include "base/operator.h"

namespace tidewire {

void ErrorBox(Operator& op, std::string_view text) {
  (void)op.ShowBox(BoxKind::kError, Buttons::kOk, text);
}

void WarningBox(Operator& op, std::string_view text) {
  (void)op.ShowBox(BoxKind::kWarning, Buttons::kOk, text);
}

void InformationBox(Operator& op, std::string_view text) {
  (void)op.ShowBox(BoxKind::kInformation, Buttons::kOk, text);
}

}  // namespace tidewire
