#include "base/text.h"

#include <limits>

namespace tidewire {

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsKept(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 33 && u <= 122;
}

// Position after leading blanks and an optional sign; sets negative.
std::size_t SkipBlanksAndSign(std::string_view text, bool& negative) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  return i;
}

}  // namespace

std::string UpperCopy(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Upper(c);
  return out;
}

std::string LeftCopy(std::string_view text, std::size_t count) {
  return std::string(text.substr(0, count));
}

std::string TrimTrailing(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && !IsKept(text[end - 1])) --end;
  return std::string(text.substr(0, end));
}

bool IsBlank(std::string_view text) {
  for (char c : text) {
    if (IsKept(c)) return false;
  }
  return true;
}

std::optional<std::int32_t> ParseDecimal(std::string_view text) {
  bool negative = false;
  std::size_t i = SkipBlanksAndSign(text, negative);
  if (i == text.size()) return std::nullopt;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max() ||
      value < std::numeric_limits<std::int32_t>::min()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

std::int32_t LeadingDigitsValue(std::string_view text) {
  bool negative = false;
  std::size_t i = SkipBlanksAndSign(text, negative);
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const std::int64_t next = value * 10 + (text[i] - '0');
    if (next > std::numeric_limits<std::int32_t>::max()) break;
    value = next;
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

bool FlagLineIsTrue(std::string_view line) { return line.find('F') == std::string_view::npos; }

bool ContainsIgnoringCase(std::string_view haystack, std::string_view needle) {
  return UpperCopy(haystack).find(UpperCopy(needle)) != std::string::npos;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return CompareIgnoringCase(a, b) == 0;
}

int CompareIgnoringCase(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(Upper(a[i]));
    const auto y = static_cast<unsigned char>(Upper(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace tidewire
