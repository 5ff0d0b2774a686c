#include "soup/seen_mail.h"

#include <optional>

#include "soup/local_files.h"

namespace tidewire::soup {

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
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    if (line.substr(0, tab) == account_) {
      const std::size_t mark = line.find('\t', tab + 1);
      const std::string uidl =
          line.substr(tab + 1, mark == std::string::npos ? mark : mark - tab - 1);
      seen_[uidl] = mark == std::string::npos ? How::kFetched : How::kMarked;
    } else {
      other_lines_.push_back(line);
    }
  }
}

void SeenMail::KeepOnly(const std::vector<WaitingMail>& waiting) {
  std::map<std::string, How> still;
  for (const WaitingMail& mail : waiting) {
    const auto found = seen_.find(mail.uidl);
    if (found != seen_.end()) still.insert(*found);
  }
  seen_.swap(still);
}

void SeenMail::Save() const {
  std::string text;
  for (const std::string& line : other_lines_) text += line + "\n";
  for (const auto& [uidl, how] : seen_) {
    text += account_ + "\t" + uidl + (how == How::kMarked ? "\tmarked\n" : "\n");
  }
  WriteFileAtomically(path_, text);
}

}  // namespace tidewire::soup
