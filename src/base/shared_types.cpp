#include "base/shared_types.h"

#include "base/text.h"

namespace tidewire {

std::string_view GatewayConfig::NewsDestination(std::size_t n) const {
  if (n < 1 || n > NewsDestinations.size()) return {};
  return NewsDestinations[n - 1];
}

int UserDatabase::FindUserByCall(std::string_view call) const {
  const std::string wanted = UpperCopy(call);
  int found = 0;
  for (std::size_t i = 0; i < records_.size(); ++i) {
    if (UpperCopy(records_[i].UserCALL) == wanted) found = static_cast<int>(i + 1);
  }
  return found;
}

void BidCounter::NextBid() {
  // Tested before the addition so a typed-in value near the 32-bit limit cannot overflow.
  value_ = value_ >= kLast ? 1 : value_ + 1;
  text_ = std::to_string(value_);
}

}  // namespace tidewire
