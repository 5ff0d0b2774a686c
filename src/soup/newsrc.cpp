#include "soup/newsrc.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace tidewire::soup {
namespace {

// Article numbers beyond any server's (RFC 3977 allows up to 2^63 - 1): the range arithmetic
// below never overflows.
constexpr std::uint64_t kMaxArticle = std::uint64_t{1} << 62;

}  // namespace

ArticleSet ArticleSet::Parse(std::string_view text) {
  ArticleSet set;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) comma = text.size();
    const std::string item(text.substr(start, comma - start));
    char* end = nullptr;
    const char* begin = item.c_str();
    while (*begin == ' ' || *begin == '\t') ++begin;
    if (std::isdigit(static_cast<unsigned char>(*begin))) {
      std::uint64_t low = std::strtoull(begin, &end, 10);
      std::uint64_t high = low;
      if (*end == '-' && std::isdigit(static_cast<unsigned char>(end[1]))) {
        high = std::strtoull(end + 1, &end, 10);
      }
      if (high < low) std::swap(low, high);
      set.AddRange(low, high);
    }
    start = comma + 1;
  }
  return set;
}

void ArticleSet::AddRange(std::uint64_t low, std::uint64_t high) {
  low = std::min(low, kMaxArticle);
  high = std::min(high, kMaxArticle);
  // Ranges that overlap or touch the new one merge with it.
  auto first = std::lower_bound(
      ranges_.begin(), ranges_.end(), low,
      [](const auto& range, std::uint64_t value) { return range.second + 1 < value; });
  auto last = first;
  while (last != ranges_.end() && last->first <= high + 1) {
    low = std::min(low, last->first);
    high = std::max(high, last->second);
    ++last;
  }
  first = ranges_.erase(first, last);
  ranges_.insert(first, {low, high});
}

bool ArticleSet::Contains(std::uint64_t number) const {
  auto found =
      std::lower_bound(ranges_.begin(), ranges_.end(), number,
                       [](const auto& range, std::uint64_t value) { return range.second < value; });
  return found != ranges_.end() && found->first <= number;
}

std::uint64_t ArticleSet::Highest() const { return ranges_.empty() ? 0 : ranges_.back().second; }

std::uint64_t ArticleSet::FirstUnread(std::uint64_t fallback) const {
  if (ranges_.empty() || ranges_.front().first > 1) return fallback;
  return ranges_.front().second + 1;
}

void ArticleSet::ExpireBelow(std::uint64_t low) {
  if (low <= 1) return;
  AddRange(1, low - 1);
}

std::string ArticleSet::Text() const {
  std::string text;
  for (const auto& [low, high] : ranges_) {
    if (!text.empty()) text += ',';
    text += std::to_string(low);
    if (high != low) text += "-" + std::to_string(high);
  }
  return text;
}

Newsrc ParseNewsrc(std::string_view text) {
  Newsrc newsrc;
  if (const std::size_t eof = text.find('\x1a'); eof != std::string_view::npos) {
    text = text.substr(0, eof);
  }
  const std::size_t first_end = text.find_first_of("\r\n");
  newsrc.crlf = first_end != std::string_view::npos && text[first_end] == '\r';
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (end < text.size() && text[end] == '\r' && start < text.size() && text[start] == '\n') {
      ++start;
    }
    Newsrc::Line entry;
    entry.text = std::string(line);
    const std::size_t name_end = line.find_first_of(":! \t");
    const std::string_view name = line.substr(0, name_end);
    if (!name.empty() && name.front() != '#') {
      NewsrcGroup group;
      group.name = std::string(name);
      if (name_end != std::string_view::npos) {
        group.subscribed = line[name_end] != '!';
        group.read = ArticleSet::Parse(line.substr(name_end + 1));
      }
      entry.group = std::move(group);
    }
    newsrc.lines.push_back(std::move(entry));
  }
  return newsrc;
}

std::string FormatNewsrc(const Newsrc& newsrc) {
  const char* end = newsrc.crlf ? "\r\n" : "\n";
  std::string text;
  for (const Newsrc::Line& line : newsrc.lines) {
    if (line.group) {
      const std::string ranges = line.group->read.Text();
      text += line.group->name + (line.group->subscribed ? ":" : "!") +
              (ranges.empty() ? "" : " " + ranges);
    } else {
      text += line.text;
    }
    text += end;
  }
  return text;
}

}  // namespace tidewire::soup
