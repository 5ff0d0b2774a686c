// Arbitrary bytes as an e-mail read as MIME for plain text, as a header with encoded words,
// and as HTML to render.
#include <cstdint>
#include <string>

#include "inbound/plain_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  (void)tidewire::inbound::PlainTextBody("MIME-Version: 1.0\n" + input, "ISO-8859-1");
  (void)tidewire::inbound::PlainHeaderText(input, "CP437");
  (void)tidewire::inbound::RenderHtml(input);
  return 0;
}
