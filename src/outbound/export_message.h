#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/file_layer.h"

namespace tidewire::outbound {

// What the pass knows about the export message in work.
struct ExportMessage {
  std::string ToField;     // addressee and route; the Internet address after a valid "#TO:" line
  std::string Sender;      // the call from the header; the RemailerAccount after a "#TO:" line
  std::string Title;       // cleaned title line
  std::string RouteLine;   // last "R:" line seen before the address line
  bool SkipRest = false;   // the rest of the message is read past
  bool BodyTaken = false;  // a server handler read the body itself
};

// The two fields cut from an FBB header line.
struct HeaderFields {
  std::string ToField;
  std::string Sender;
};

// Cuts addressee (with route) and sender from a header line such as
// "SP INET @ INET < XX2DEF $2001_XX0BBS". A blank that is missing ends its field at the end of
// the line; a line without "@" and without "<" gives the rest after the type as the addressee
// and no sender.
[[nodiscard]] HeaderFields CutHeaderLine(std::string_view line);

// The title with every byte below 32 or above 127 made a blank, cut to 79 characters.
[[nodiscard]] std::string CleanTitle(std::string_view line);

// A line beginning with "/EX" ends an export message.
[[nodiscard]] bool IsEndLine(std::string_view line);
// The same for a line just read from `reader`: a piece of a long line ends nothing.
[[nodiscard]] bool EndsMessage(const TextReader& reader, std::string_view line);

// An "R:" forwarding line of FBB.
[[nodiscard]] bool IsRouteLine(std::string_view line);

// The Internet address of a line holding the "#TO:" marker in any letter case: the text after
// the first marker, one further "#TO:" removed, trailing blanks and controls cut off; nothing
// when the line holds no marker.
[[nodiscard]] std::optional<std::string> AddressFromMarkerLine(std::string_view line);

// Reads and drops lines up to and including the end line, or to the end of the file.
void ReadPastMessage(TextReader& reader);

}  // namespace tidewire::outbound
