#include "inbound/message_journal.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <vector>

#include "base/errors.h"
#include "base/file_layer.h"
#include "base/text.h"

namespace tidewire::inbound {

namespace {

// An ID is kept whole up to this length; a longer one (no real one is) is cut.
constexpr std::size_t kMaxIdLength = 998;

std::string Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, std::min(last - first + 1, kMaxIdLength)));
}

}  // namespace

std::string MessageIdOf(std::string_view header_line) {
  constexpr std::string_view kField = "message-id:";
  if (header_line.size() < kField.size() ||
      !EqualsIgnoringCase(header_line.substr(0, kField.size()), kField)) {
    return {};
  }
  return Trimmed(header_line.substr(kField.size()));
}

MessageJournal::MessageJournal(fs::path work_dir, std::function<std::time_t()> clock)
    : work_dir_(std::move(work_dir)), clock_(std::move(clock)) {
  const fs::path path = work_dir_ / kFileName;
  if (!FileIsPresent(path)) return;
  try {
    TextReader in(path, LongLines::kSplit);
    const std::time_t oldest = clock_() - kKeepSeconds;
    while (!in.AtEnd()) {
      const std::string line = in.ReadLine();
      const std::size_t blank = line.find(' ');
      std::time_t when = 0;
      if (blank == std::string::npos ||
          std::from_chars(line.data(), line.data() + blank, when).ec != std::errc()) {
        continue;
      }
      if (when >= oldest)
        entries_[line.substr(blank + 1)] = when;
      else
        changed_ = true;
    }
    in.Close();
  } catch (const IoError&) {
    // Without the journal a repeated message may reach FBB twice, which is no loss.
    entries_.clear();
  }
}

namespace {

std::string Hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace

std::string MessageJournal::MailKey(std::string_view message_id, std::uint64_t hash) {
  if (message_id.empty()) return {};
  return "mail " + std::string(message_id) + " " + Hex(hash);
}

std::string MessageJournal::NewsKey(std::string_view destination, std::string_view message_id,
                                    std::uint64_t hash) {
  if (message_id.empty()) return {};
  std::string key =
      "news " + std::string(destination) + " " + std::string(message_id) + " " + Hex(hash);
  for (char& c : key) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return key;
}

bool MessageJournal::Repeated(const std::string& key) {
  if (key.empty()) return false;
  if (entries_.contains(key)) return true;
  entries_.emplace(key, clock_());
  changed_ = true;
  return false;
}

void MessageJournal::Save() {
  if (!changed_) return;
  std::vector<std::pair<std::time_t, const std::string*>> lines;
  lines.reserve(entries_.size());
  for (const auto& [key, when] : entries_) lines.emplace_back(when, &key);
  std::sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : *a.second < *b.second;
  });
  TextWriter out(work_dir_ / kFileName, TextWriter::Mode::kReplace);
  for (const auto& [when, key] : lines) out.WriteLine(std::to_string(when) + " " + *key);
  out.Close();
  changed_ = false;
}

}  // namespace tidewire::inbound
