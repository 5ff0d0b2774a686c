// Arbitrary bytes through every reader of the SOUP client that takes what a file or a server
// gave it: the first byte picks the reader, the rest is its input. Readers may refuse with
// SoupError or FormatError; nothing may crash, hang or read out of bounds, and what they write back
// must read back the same.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/format_error.h"
#include "formats/soup_packet.h"
#include "soup/message_header.h"
#include "soup/newsrc.h"
#include "soup/server_address.h"
#include "soup/soup_error.h"

using namespace tidewire::soup;
using namespace tidewire::formats;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    switch (data[0] % 6) {
      case 0: {
        const std::string once = FormatNewsrc(ParseNewsrc(input));
        if (FormatNewsrc(ParseNewsrc(once)) != once) std::abort();  // the writer is a fixed point
        break;
      }
      case 1: {
        const std::vector<ReplyArea> areas = ParseReplies(input);
        if (ParseReplies(FormatReplies(areas)).size() != areas.size()) std::abort();
        break;
      }
      case 2:
      case 3: {
        const char type = data[0] % 6 == 2 ? 'b' : 'u';
        const std::vector<std::string> messages = SplitPacket(input, type);
        if (SplitPacket(JoinPacket(messages, type), type) != messages) std::abort();
        break;
      }
      case 4: {
        (void)HeaderFields(input);
        const std::string sent = WithoutBcc(input);
        if (sent.size() > input.size()) std::abort();
        (void)EnvelopeOf(input);
        break;
      }
      case 5:
        (void)ParseServerAddress(input, static_cast<Service>(size % 3));
        break;
    }
  } catch (const SoupError&) {
    // A clear refusal is an answer.
  } catch (const FormatError&) {
  }
  return 0;
}
