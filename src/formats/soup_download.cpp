#include "formats/soup_download.h"

namespace tidewire::formats {

namespace {

constexpr std::string_view kSeparator = "From POPmail";

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(text[i]) != lower(prefix[i])) return false;
  }
  return true;
}

}  // namespace

std::string MailboxSeparator(std::time_t when) {
  char text[64] = "Thu Jan  1 00:00:00 1970\n";
  std::tm local{};
  if (::localtime_r(&when, &local) != nullptr) {
    std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y\n", &local);
  }
  return std::string(kSeparator) + " " + text;
}

bool IsMailboxSeparator(std::string_view line) { return StartsWithIgnoringCase(line, kSeparator); }

bool NeedsQuoting(std::string_view line) {
  return line.substr(0, 5) == "From " || IsMailboxSeparator(line);
}

std::string RnewsLine(std::uint64_t count) {
  return std::string(kRnewsStart) + std::to_string(count) + "\n";
}

std::optional<std::int64_t> RnewsCount(std::string_view line) {
  if (!line.starts_with(kRnewsStart)) return std::nullopt;
  const std::string_view digits = line.substr(kRnewsStart.size());
  if (digits.empty() || digits.size() > 15) return std::nullopt;
  std::int64_t count = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    count = count * 10 + (c - '0');
  }
  return count;
}

}  // namespace tidewire::formats
