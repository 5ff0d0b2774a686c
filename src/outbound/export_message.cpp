#include "outbound/export_message.h"

#include "base/text.h"

namespace tidewire::outbound {

namespace {

constexpr std::size_t kTitleLength = 79;
constexpr std::size_t kFieldStart = 3;  // after the message type and its blank
constexpr std::string_view kMarker = "#TO:";

// The first blank at or after `from`; the end of the line when there is none.
std::size_t BlankFrom(std::string_view line, std::size_t from) {
  if (from >= line.size()) return line.size();
  const std::size_t blank = line.find(' ', from);
  return blank == std::string_view::npos ? line.size() : blank;
}

// Characters [begin, end) of the line; empty when the range is empty or outside it.
std::string Span(std::string_view line, std::size_t begin, std::size_t end) {
  if (begin >= end || begin >= line.size()) return {};
  return std::string(line.substr(begin, end - begin));
}

}  // namespace

HeaderFields CutHeaderLine(std::string_view line) {
  HeaderFields fields;
  if (const std::size_t at = line.find('@'); at != std::string_view::npos) {
    const std::size_t b1 = BlankFrom(line, at + 2);
    const std::size_t b2 = BlankFrom(line, b1 + 3);
    fields.ToField = Span(line, kFieldStart, b1);
    fields.Sender = Span(line, b1 + 3, b2);
    return fields;
  }
  const std::size_t lt = line.find('<');
  if (lt == std::string_view::npos) {
    fields.ToField = Span(line, kFieldStart, line.size());
    return fields;
  }
  const std::size_t b1 = BlankFrom(line, lt + 2);
  fields.ToField = lt >= 2 ? Span(line, kFieldStart, lt - 1) : std::string();
  fields.Sender = TrimTrailing(Span(line, lt + 2, b1));
  return fields;
}

std::string CleanTitle(std::string_view line) {
  std::string title(line.substr(0, kTitleLength));
  for (char& c : title) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte > 127) c = ' ';
  }
  return title;
}

bool IsEndLine(std::string_view line) { return line.starts_with("/EX"); }

bool EndsMessage(const TextReader& reader, std::string_view line) {
  return !reader.Continues() && IsEndLine(line);
}

bool IsRouteLine(std::string_view line) { return line.starts_with("R:"); }

std::optional<std::string> AddressFromMarkerLine(std::string_view line) {
  const std::string upper = UpperCopy(line);
  const std::size_t marker = upper.find(kMarker);
  if (marker == std::string::npos) return std::nullopt;
  std::string address(line.substr(marker + kMarker.size()));
  if (const std::size_t again = address.find(kMarker); again != std::string::npos) {
    address.erase(again, kMarker.size());
  }
  return TrimTrailing(address);
}

void ReadPastMessage(TextReader& reader) {
  while (!reader.AtEnd()) {
    const std::string line = reader.ReadLine();
    if (EndsMessage(reader, line)) return;
  }
}

}  // namespace tidewire::outbound
