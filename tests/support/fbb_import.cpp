#include "support/fbb_import.h"

#include <utility>

#include "base/text.h"

namespace tidewire::testing {

// Lines as FBB reads them: a line ends at LF, and a CR before it is dropped.
std::vector<std::string> FbbLines(std::string_view bytes) {
  std::vector<std::string> lines;
  std::string line;
  for (const char c : bytes) {
    if (c != '\n') {
      line.push_back(c);
      continue;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::exchange(line, {}));
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

bool StartsWithCommand(std::string_view line, std::string_view word) {
  return line.size() >= 3 && line[0] == '/' && EqualsIgnoringCase(line.substr(1, 2), word);
}


// The messages FBB would import: send commands between messages, "/EX" ends and "/AB" drops.
std::vector<FbbMessage> ImportLikeFbb(const std::vector<std::string>& lines, int& dropped) {
  std::vector<FbbMessage> messages;
  dropped = 0;
  std::size_t i = 0;
  while (i < lines.size()) {
    if (lines[i].empty() || (lines[i][0] != 'S' && lines[i][0] != 's')) {
      ++i;
      continue;
    }
    FbbMessage message{lines[i], i + 1 < lines.size() ? lines[i + 1] : "", {}};
    i += 2;
    bool ended = false;
    for (; i < lines.size() && !ended; ++i) {
      if (StartsWithCommand(lines[i], "AB")) {
        ++dropped;
        ended = true;
        message.header.clear();
      } else if (StartsWithCommand(lines[i], "EX")) {
        ended = true;
      } else {
        message.body.push_back(lines[i]);
      }
    }
    if (!ended) ++dropped;  // no end line before the end of the file
    if (ended && !message.header.empty()) messages.push_back(std::move(message));
  }
  return messages;
}

}  // namespace tidewire::testing
