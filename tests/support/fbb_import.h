#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tidewire::testing {

// Lines as FBB reads them: a line ends at LF, and a CR before it is dropped.
[[nodiscard]] std::vector<std::string> FbbLines(std::string_view bytes);

// Whether a line starts with "/" and the two-letter command word, any letter case.
[[nodiscard]] bool StartsWithCommand(std::string_view line, std::string_view word);

struct FbbMessage {
  std::string header;
  std::string title;
  std::vector<std::string> body;
};

// The messages FBB would import: send commands between messages, "/EX" ends and "/AB" drops.
// `dropped` counts the messages lost to "/AB" or to a missing end line.
[[nodiscard]] std::vector<FbbMessage> ImportLikeFbb(const std::vector<std::string>& lines,
                                                    int& dropped);

}  // namespace tidewire::testing
