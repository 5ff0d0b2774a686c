#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "soup/connection.h"

namespace tidewire::soup {

// The largest mail or article a fetch takes; a larger one is skipped and not fetched again.
inline constexpr std::size_t kMaxMessageBytes = 16 * 1024 * 1024;

// Reads a dot-terminated block, undoing the dot-stuffing, and gives each line to LINE. A block
// of more than LIMIT bytes raises MessageTooLarge; its rest is read past, as far again as the
// limit, so that the session can go on (in_step), or else the session is given up.
void ReadDotBlock(Connection& connection, const std::function<void(std::string_view)>& line,
                  std::size_t limit = SIZE_MAX);

// A line as the server sent it may hold a CR on its own, which ends a line for the gateway and
// FBB: the line is given to PART in its pieces between such CRs, so each is seen as the line it
// will become (and quoted or counted as one).
void SplitAtLoneCr(std::string_view line, const std::function<void(std::string_view)>& part);

// Sends TEXT (LF line ends) as a dot-stuffed block with CR LF line ends and the final ".".
void WriteDotBlock(Connection& connection, std::string_view text);

// A numbered reply of SMTP or NNTP; multi-line SMTP replies are joined with blanks.
struct Reply {
  int code = 0;
  std::string text;                // the whole last line, code included
  std::vector<std::string> lines;  // each line's text after the code
};

// Reads one reply; SMTP's "250-" continuation lines belong to it.
[[nodiscard]] Reply ReadReply(Connection& connection);

[[nodiscard]] std::string Base64(std::string_view bytes);

// True when TEXT begins with PREFIX, ignoring the letter case of ASCII letters.
[[nodiscard]] bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);

}  // namespace tidewire::soup
