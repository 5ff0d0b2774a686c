#include "soup/seen_mail.h"

#include <optional>
#include <set>

#include "soup/local_files.h"

namespace tidewire::soup {
namespace {

// The TAB-separated fields of a line.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

}  // namespace

// A line is "account TAB id", "account TAB id TAB marked", or with a fingerprint
// "account TAB id TAB fetched|marked TAB fingerprint".
SeenMail::SeenMail(std::string path, std::string account)
    : path_(std::move(path)), account_(std::move(account)) {
  const std::optional<std::string> text = ReadSmallFile(path_);
  if (!text) return;
  std::size_t pos = 0;
  while (pos < text->size()) {
    std::size_t lf = text->find('\n', pos);
    if (lf == std::string::npos) lf = text->size();
    const std::string line = text->substr(pos, lf - pos);
    pos = lf + 1;
    const std::vector<std::string> fields = Fields(line);
    if (fields.size() < 2) continue;
    if (fields[0] != account_) {
      other_lines_.push_back(line);
      continue;
    }
    Entry& entry = seen_[fields[1]];
    entry.how = fields.size() > 2 && fields[2] != "fetched" ? How::kMarked : How::kFetched;
    if (fields.size() > 3) entry.fingerprint = fields[3];
  }
}

void SeenMail::KeepOnly(const std::vector<WaitingMail>& waiting) {
  std::map<std::string, Entry> still;
  for (const WaitingMail& mail : waiting) {
    const auto found = seen_.find(mail.uidl);
    if (found != seen_.end()) still.insert(*found);
  }
  seen_.swap(still);
}

bool SeenMail::HoldsOtherThan(const std::string& prefix) const {
  for (const auto& [uidl, entry] : seen_) {
    if (uidl.rfind(prefix, 0) != 0) return true;
  }
  return false;
}

std::size_t SeenMail::Adopt(const std::vector<WaitingMail>& waiting) {
  std::set<std::string> ids;
  for (const WaitingMail& mail : waiting) ids.insert(mail.uidl);
  std::multimap<std::string, std::string> gone;  // fingerprint to id
  for (const auto& [uidl, entry] : seen_) {
    if (ids.count(uidl) == 0 && !entry.fingerprint.empty()) gone.emplace(entry.fingerprint, uidl);
  }
  std::size_t adopted = 0;
  for (const WaitingMail& mail : waiting) {
    if (mail.fingerprint.empty() || Contains(mail.uidl)) continue;
    const auto found = gone.find(mail.fingerprint);
    if (found == gone.end()) continue;
    seen_[mail.uidl] = seen_[found->second];
    seen_.erase(found->second);
    gone.erase(found);
    ++adopted;
  }
  return adopted;
}

std::string SeenMail::FollowRenumbering(const std::vector<WaitingMail>& waiting) {
  if (waiting.empty() || waiting.front().uidl.find(':') == std::string::npos) return "";
  const std::string& first = waiting.front().uidl;
  if (!HoldsOtherThan(first.substr(0, first.find(':') + 1))) return "";
  const std::size_t adopted = Adopt(waiting);
  std::size_t unknown = 0;
  for (const WaitingMail& mail : waiting) unknown += Contains(mail.uidl) ? 0 : 1;
  return "the server renumbered the mailbox (its UIDVALIDITY changed): " + std::to_string(adopted) +
         " mail(s) known by Message-ID and size keep their state; " + std::to_string(unknown) +
         " other mail(s) are taken as new (any of them may have been fetched before)";
}

void SeenMail::Save() const {
  std::string text;
  for (const std::string& line : other_lines_) text += line + "\n";
  for (const auto& [uidl, entry] : seen_) {
    const bool marked = entry.how == How::kMarked;
    text += account_ + "\t" + uidl;
    if (!entry.fingerprint.empty()) {
      text += std::string(marked ? "\tmarked\t" : "\tfetched\t") + entry.fingerprint + "\n";
    } else {
      text += marked ? "\tmarked\n" : "\n";
    }
  }
  WriteFileAtomically(path_, text);
}

}  // namespace tidewire::soup
