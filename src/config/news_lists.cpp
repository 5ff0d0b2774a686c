#include "config/news_lists.h"

#include "base/file_layer.h"

namespace tidewire::config {

std::vector<std::string> ReadListFile(const std::filesystem::path& path) {
  TextReader in(path, LongLines::kRefuse, LineEnds::kLfWhenNoCr);
  std::vector<std::string> lines;
  while (!in.AtEnd()) lines.push_back(in.ReadLine());
  in.Close();
  return lines;
}

void WriteListFile(const std::filesystem::path& path, const std::vector<std::string>& lines) {
  TextWriter out(path, TextWriter::Mode::kReplace);
  for (const std::string& line : lines) out.WriteLine(line);
  out.Close();
}

std::vector<std::string> AreaLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const auto end = text.find('\n');
    lines.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::string AreaText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + '\n';
  return text;
}

}  // namespace tidewire::config
