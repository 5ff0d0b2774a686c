#pragma once

// The SOUP files the gateway and its client hand each other, each reader beside its writer:
// the reply list REPLIES and the message files of a reply packet. The gateway writes them, the
// client reads them; both link this library and nothing else is shared.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tidewire::formats {

// One line of REPLIES: "prefix<TAB>kind<TAB>encoding" (souper also takes blanks).
struct ReplyArea {
  std::string prefix;    // the message file is prefix + ".MSG"
  std::string kind;      // "mail" or "news"
  std::string encoding;  // first letter b, B or u
};

// The lines of REPLIES; throws FormatError naming the first line that is not of that form.
[[nodiscard]] std::vector<ReplyArea> ParseReplies(std::string_view text);
[[nodiscard]] std::string FormatReplies(const std::vector<ReplyArea>& areas);

// Where one message of a reply message file stands in it.
struct PacketEntry {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

// Reads up to SIZE bytes at OFFSET into DATA; fewer only at the end.
using ReadAt = std::function<std::size_t(std::uint64_t offset, char* data, std::size_t size)>;

// The messages of a reply message file of FILE_SIZE bytes: type b or B (a 4-byte big-endian
// length before each) or u ("#! rnews <bytes>" before each). Reads only the framing, so a
// packet of any size is indexed in little memory. Throws FormatError when the framing is broken.
[[nodiscard]] std::vector<PacketEntry> IndexPacket(const ReadAt& read, std::uint64_t file_size,
                                                   char type);
// The 4-byte length before each message of a binary message file, high byte first.
[[nodiscard]] std::string LengthPrefix(std::uint32_t length);
// What stands in front of a message of LENGTH bytes.
[[nodiscard]] std::string PacketFraming(std::uint64_t length, char type);

// The same for a packet held in memory.
[[nodiscard]] std::vector<std::string> SplitPacket(std::string_view bytes, char type);
[[nodiscard]] std::string JoinPacket(const std::vector<std::string>& messages, char type);

}  // namespace tidewire::formats
