#include "formats/soup_packet.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>

#include "formats/format_error.h"
#include "formats/soup_download.h"

namespace tidewire::formats {
namespace {

std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> words;
  std::size_t pos = 0;
  while (pos < line.size()) {
    const std::size_t start = line.find_first_not_of(" \t\r", pos);
    if (start == std::string_view::npos) break;
    const std::size_t end = line.find_first_of(" \t\r", start);
    words.emplace_back(line.substr(start, end - start));
    pos = end == std::string_view::npos ? line.size() : end;
  }
  return words;
}

bool SafePrefix(const std::string& prefix) {
  if (prefix.empty() || prefix.size() > 64) return false;
  for (const char c : prefix) {
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-')) return false;
  }
  return true;
}

}  // namespace

std::vector<ReplyArea> ParseReplies(std::string_view text) {
  std::vector<ReplyArea> areas;
  std::size_t pos = 0;
  int number = 0;
  while (pos < text.size()) {
    std::size_t lf = text.find('\n', pos);
    if (lf == std::string_view::npos) lf = text.size();
    const std::string_view line = text.substr(pos, lf - pos);
    pos = lf + 1;
    ++number;
    const std::vector<std::string> words = Words(line);
    if (words.empty()) continue;
    // The prefix names a file in this folder: no path, no surprises.
    if (words.size() < 3 || !SafePrefix(words[0]) || (words[1] != "mail" && words[1] != "news") ||
        (words[2][0] != 'b' && words[2][0] != 'B' && words[2][0] != 'u')) {
      throw FormatError("REPLIES line " + std::to_string(number) +
                        " is not understood: " + std::string(line));
    }
    areas.push_back({words[0], words[1], words[2]});
  }
  return areas;
}

std::string FormatReplies(const std::vector<ReplyArea>& areas) {
  std::string text;
  for (const ReplyArea& area : areas) {
    text += area.prefix + "\t" + area.kind + "\t" + area.encoding + "\n";
  }
  return text;
}

std::vector<PacketEntry> IndexPacket(const ReadAt& read, std::uint64_t file_size, char type) {
  // The longest "#! rnews" line looked at; the writer's own are under 30 bytes.
  constexpr std::size_t kLongestFramingLine = 1024;
  std::vector<PacketEntry> entries;
  std::uint64_t pos = 0;
  std::string framing;
  while (pos < file_size) {
    const std::string number = std::to_string(entries.size() + 1);
    std::uint64_t length = 0;
    if (type == 'u') {
      framing.resize(
          static_cast<std::size_t>(std::min<std::uint64_t>(kLongestFramingLine, file_size - pos)));
      framing.resize(read(pos, framing.data(), framing.size()));
      const std::size_t lf = framing.find('\n');
      if (!framing.starts_with("#! rnews ") || lf == std::string::npos) {
        throw FormatError("the reply file has no \"#! rnews\" line before message " + number);
      }
      length = std::strtoull(framing.substr(9, lf - 9).c_str(), nullptr, 10);
      pos += lf + 1;
    } else {
      char bytes[4];
      if (file_size - pos < 4 || read(pos, bytes, 4) != 4) {
        throw FormatError("the reply file ends inside the length of message " + number);
      }
      for (const char byte : bytes) length = length << 8 | static_cast<unsigned char>(byte);
      pos += 4;
    }
    if (length > file_size - pos) {
      throw FormatError("message " + number + " of the reply file is shorter than its length says");
    }
    entries.push_back({pos, length});
    pos += length;
  }
  return entries;
}

std::string LengthPrefix(std::uint32_t length) {
  std::string bytes;
  for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((length >> shift) & 0xff);
  return bytes;
}

std::string PacketFraming(std::uint64_t length, char type) {
  if (type == 'u') return RnewsLine(length);
  return LengthPrefix(static_cast<std::uint32_t>(length));
}

std::vector<std::string> SplitPacket(std::string_view bytes, char type) {
  const ReadAt read = [bytes](std::uint64_t offset, char* data, std::size_t size) {
    const std::string_view part = bytes.substr(static_cast<std::size_t>(offset), size);
    std::copy(part.begin(), part.end(), data);
    return part.size();
  };
  std::vector<std::string> messages;
  for (const PacketEntry& entry : IndexPacket(read, bytes.size(), type)) {
    messages.emplace_back(bytes.substr(static_cast<std::size_t>(entry.offset),
                                       static_cast<std::size_t>(entry.length)));
  }
  return messages;
}

std::string JoinPacket(const std::vector<std::string>& messages, char type) {
  std::string bytes;
  for (const std::string& message : messages)
    bytes += PacketFraming(message.size(), type) + message;
  return bytes;
}

}  // namespace tidewire::formats
