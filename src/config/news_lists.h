#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tidewire::config {

// A text file as the list editor shows it: every line, as read.
[[nodiscard]] std::vector<std::string> ReadListFile(const std::filesystem::path& path);

// A text file anew, each line ended by CR LF.
void WriteListFile(const std::filesystem::path& path, const std::vector<std::string>& lines);

// The lines of an editor area's text ("\n" between lines); a line end after the last line
// starts no further line, so "a\nb\n" is two lines and "" none.
[[nodiscard]] std::vector<std::string> AreaLines(std::string_view text);

// The area text for lines, each followed by "\n"; AreaLines gives the lines back.
[[nodiscard]] std::string AreaText(const std::vector<std::string>& lines);

}  // namespace tidewire::config
