#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tidewire::testing {

// A model of how LinFBB reads its import file: fgets(buf, 80), so a line comes in pieces of at
// most 79 bytes and every piece is tested as if it were a line of its own. A piece that ends its
// line has the line end (LF, and a CR before it) taken off.
struct FbbRead {
  std::string text;
  bool ends_line = true;
};

[[nodiscard]] std::vector<FbbRead> FbbReads(std::string_view bytes);

// The texts of FbbReads: what FBB tests for a send command or a marker, piece by piece.
[[nodiscard]] std::vector<std::string> FbbLines(std::string_view bytes);

// Whether a line starts with "/" and the two-letter command word, any letter case.
[[nodiscard]] bool StartsWithCommand(std::string_view line, std::string_view word);

struct FbbMessage {
  std::string header;
  std::string title;
  std::vector<std::string> body;  // pieces of one line joined again
};

// The messages FBB would import: a piece starting with "S" between messages is a send command,
// the next piece its title; a piece starting "/EX" ends the body, "/AB" drops the message, and so
// does a bulletin ID seen before (any case). `dropped` counts those and a message without end.
[[nodiscard]] std::vector<FbbMessage> ImportLikeFbb(std::string_view bytes, int& dropped);

// The messages as the gateway meant them: CR LF lines, a message from its send command to the
// line that is exactly "/EX" (or "/AB", which the writer puts after a message it gave up).
[[nodiscard]] std::vector<FbbMessage> MessagesAsWritten(std::string_view bytes);

// Empty when FBB's reading finds exactly the messages written, each once, with header, title
// and body unchanged and no bulletin ID twice; otherwise what differs.
[[nodiscard]] std::string FbbReadingFaults(std::string_view bytes);

}  // namespace tidewire::testing
