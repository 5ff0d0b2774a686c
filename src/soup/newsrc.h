#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tidewire::soup {

// The article numbers read in one group, as sorted disjoint ranges ("1-120,125,130-140").
class ArticleSet {
 public:
  [[nodiscard]] static ArticleSet Parse(std::string_view text);
  void Add(std::uint64_t number) { AddRange(number, number); }
  void AddRange(std::uint64_t low, std::uint64_t high);
  [[nodiscard]] bool Contains(std::uint64_t number) const;
  [[nodiscard]] std::uint64_t Highest() const;
  // The first number after the first range (the first range starting at 1), or FALLBACK.
  [[nodiscard]] std::uint64_t FirstUnread(std::uint64_t fallback) const;
  // Forgets what lies below LOW (expired on the server) and counts 1 to LOW-1 as read.
  void ExpireBelow(std::uint64_t low);
  void Clear() { ranges_.clear(); }
  [[nodiscard]] std::string Text() const;

 private:
  std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges_;
};

struct NewsrcGroup {
  std::string name;
  bool subscribed = true;
  ArticleSet read;
};

// A .newsrc as souper reads it: "group: ranges" subscribed, "group! ranges" not; lines that
// name no group are kept as they stand; the file's own line ends are kept (CR LF when the
// gateway's editor wrote it).
struct Newsrc {
  struct Line {
    std::optional<NewsrcGroup> group;
    std::string text;  // the line as read, for lines without a group
  };
  std::vector<Line> lines;
  bool crlf = false;
};

[[nodiscard]] Newsrc ParseNewsrc(std::string_view text);
[[nodiscard]] std::string FormatNewsrc(const Newsrc& newsrc);

}  // namespace tidewire::soup
