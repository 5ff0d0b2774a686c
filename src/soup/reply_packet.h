#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tidewire::soup {

// One line of REPLIES: "prefix<TAB>kind<TAB>encoding" (souper also takes blanks).
struct ReplyArea {
  std::string prefix;    // the message file is prefix + ".MSG"
  std::string kind;      // "mail" or "news"
  std::string encoding;  // first letter b, B or u
};

// The lines of REPLIES; throws SoupError naming the first line that is not of that form.
[[nodiscard]] std::vector<ReplyArea> ParseReplies(std::string_view text);
[[nodiscard]] std::string FormatReplies(const std::vector<ReplyArea>& areas);

// The messages of a reply message file: type b or B (a 4-byte big-endian length before
// each) or u ("#! rnews <bytes>" before each). Throws SoupError when the framing is broken.
[[nodiscard]] std::vector<std::string> SplitPacket(std::string_view bytes, char type);
[[nodiscard]] std::string JoinPacket(const std::vector<std::string>& messages, char type);

}  // namespace tidewire::soup
