#include "soup/reply_packet.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>

#include "soup/soup_error.h"

namespace tidewire::soup {
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
    if (words.size() < 3 || !SafePrefix(words[0]) ||
        (words[1] != "mail" && words[1] != "news") ||
        (words[2][0] != 'b' && words[2][0] != 'B' && words[2][0] != 'u')) {
      throw SoupError("REPLIES line " + std::to_string(number) + " is not understood: " +
                      std::string(line));
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

std::vector<std::string> SplitPacket(std::string_view bytes, char type) {
  std::vector<std::string> messages;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::uint64_t length = 0;
    if (type == 'u') {
      const std::size_t lf = bytes.find('\n', pos);
      const std::string_view line = bytes.substr(pos, lf == std::string_view::npos ? std::string_view::npos : lf - pos);
      if (line.substr(0, 9) != "#! rnews " || lf == std::string_view::npos) {
        throw SoupError("the reply file has no \"#! rnews\" line before message " +
                        std::to_string(messages.size() + 1));
      }
      length = std::strtoull(std::string(line.substr(9)).c_str(), nullptr, 10);
      pos = lf + 1;
    } else {
      if (bytes.size() - pos < 4) {
        throw SoupError("the reply file ends inside the length of message " +
                        std::to_string(messages.size() + 1));
      }
      for (int i = 0; i < 4; ++i) {
        length = length << 8 | static_cast<unsigned char>(bytes[pos + static_cast<std::size_t>(i)]);
      }
      pos += 4;
    }
    if (length > bytes.size() - pos) {
      throw SoupError("message " + std::to_string(messages.size() + 1) +
                      " of the reply file is shorter than its length says");
    }
    messages.emplace_back(bytes.substr(pos, static_cast<std::size_t>(length)));
    pos += static_cast<std::size_t>(length);
  }
  return messages;
}

std::string JoinPacket(const std::vector<std::string>& messages, char type) {
  std::string bytes;
  for (const std::string& message : messages) {
    if (type == 'u') {
      bytes += "#! rnews " + std::to_string(message.size()) + "\n";
    } else {
      const auto length = static_cast<std::uint32_t>(message.size());
      for (int shift = 24; shift >= 0; shift -= 8) {
        bytes += static_cast<char>((length >> shift) & 0xff);
      }
    }
    bytes += message;
  }
  return bytes;
}

}  // namespace tidewire::soup
