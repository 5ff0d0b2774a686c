#include "outbound/message_id.h"

#include <chrono>

namespace tidewire::outbound {

MessageIdSource::MessageIdSource(std::uint64_t seed) : engine_(seed) {}

std::string MessageIdSource::NextLetters() {
  std::string letters(kLetters, 'a');
  for (char& c : letters) c = static_cast<char>('a' + letter_(engine_));
  return letters;
}

MessageIdSource& ProgramMessageIds() {
  static MessageIdSource source([] {
    std::random_device entropy;
    const auto ticks =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    // The clock only adds to the entropy, in case the device is a fixed sequence.
    return (static_cast<std::uint64_t>(entropy()) << 32 ^ entropy()) ^ ticks;
  }());
  return source;
}

}  // namespace tidewire::outbound
