#include "soup/spool.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "soup/local_files.h"
#include "soup/message_header.h"
#include "soup/protocol.h"
#include "soup/soup_error.h"

namespace tidewire::soup {
namespace {

// A regular file itself: a link in the spool could name any file of the station (TWIRE.CFG).
bool IsFile(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void MakeFolders(const std::string& path) {
  std::size_t pos = 0;
  while ((pos = path.find('/', pos + 1)) != std::string::npos)
    ::mkdir(path.substr(0, pos).c_str(), 0755);
  if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
    throw SoupError("cannot create the folder " + path + ": " + std::strerror(errno));
  }
}

bool AllDigits(const std::string& name) {
  if (name.empty() || name.size() > 18) return false;
  for (const char c : name) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// A group name becomes one folder name: no path separators, no hidden or parent folders.
bool SafeGroupName(const std::string& name) {
  if (name.empty() || name.front() == '.' || name.size() > 200) return false;
  for (const char c : name) {
    if (c == '/' || static_cast<unsigned char>(c) <= ' ') return false;
  }
  return true;
}

std::string WithLineFeeds(std::string text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

}  // namespace

SpoolMailDrop::SpoolMailDrop(std::string dir) : inbox_(std::move(dir) + "/inbox") {}

std::vector<WaitingMail> SpoolMailDrop::List() {
  std::vector<WaitingMail> mails;
  names_.clear();
  for (const std::string& name : ListFolder(inbox_)) {
    if (name.front() == '.' || !IsFile(inbox_ + "/" + name)) continue;
    names_.push_back(name);
    mails.push_back({names_.size(), name, 0, ""});
  }
  return mails;
}

void SpoolMailDrop::Retrieve(const WaitingMail& mail,
                             const std::function<void(std::string_view line)>& line) {
  const std::optional<std::string> text =
      ReadSmallFile(inbox_ + "/" + mail.uidl, Follow::kRegularFileOnly);
  if (!text) throw SoupError("the spool mail " + mail.uidl + " has gone");
  if (text->size() > kMaxMessageBytes) {
    throw MessageTooLarge(
        "the message is larger than " + std::to_string(kMaxMessageBytes >> 20) + " MiB", true);
  }
  std::string_view rest(*text);
  while (!rest.empty()) {
    const std::size_t lf = rest.find('\n');
    std::string_view one = rest.substr(0, lf);
    if (!one.empty() && one.back() == '\r') one.remove_suffix(1);
    line(one);
    rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
  }
}

void SpoolMailDrop::Delete(const WaitingMail& mail) { doomed_.push_back(mail.uidl); }

void SpoolMailDrop::Finish() {
  for (const std::string& name : doomed_) RemoveFile(inbox_ + "/" + name);
  doomed_.clear();
}

SpoolMailSender::SpoolMailSender(std::string dir) : outbox_(std::move(dir) + "/outbox") {
  MakeFolders(outbox_);
}

Delivery SpoolMailSender::Send(const Envelope& envelope, std::string_view message) {
  std::string recipients;
  for (const std::string& recipient : envelope.recipients) {
    recipients += (recipients.empty() ? "" : ", ") + recipient;
  }
  char name[96];
  std::snprintf(name, sizeof name, "%lld.%d.%04d.eml", static_cast<long long>(std::time(nullptr)),
                static_cast<int>(::getpid()), ++sequence_);
  WriteFileAtomically(outbox_ + "/" + name, "X-MailFrom: " + envelope.sender + "\nX-RcptTo: " +
                                                recipients + "\n" + std::string(message));
  Delivery delivery;
  delivery.sent = true;
  return delivery;
}

SpoolNewsServer::SpoolNewsServer(std::string dir) : news_(std::move(dir) + "/news") {}

std::string SpoolNewsServer::GroupDir(const std::string& name) const { return news_ + "/" + name; }

std::optional<GroupRange> SpoolNewsServer::Group(const std::string& name) {
  if (!SafeGroupName(name)) return std::nullopt;
  struct stat info {};
  if (::stat(GroupDir(name).c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
  GroupRange range;
  for (const std::string& file : ListFolder(GroupDir(name))) {
    if (!AllDigits(file)) continue;
    const std::uint64_t number = std::stoull(file);
    if (number == 0) continue;
    if (range.count == 0 || number < range.low) range.low = number;
    if (number > range.high) range.high = number;
    ++range.count;
  }
  if (range.count == 0) range.low = range.high + 1;
  return range;
}

std::optional<std::string> SpoolNewsServer::Article(const std::string& group,
                                                    std::uint64_t number) {
  if (!SafeGroupName(group)) return std::nullopt;
  const std::string path = GroupDir(group) + "/" + std::to_string(number);
  if (!IsFile(path)) return std::nullopt;
  std::optional<std::string> text = ReadSmallFile(path, Follow::kRegularFileOnly);
  if (!text) return std::nullopt;
  return WithLineFeeds(std::move(*text));
}

Delivery SpoolNewsServer::Post(std::string_view article) {
  Delivery delivery;
  std::vector<std::string> groups;
  for (const HeaderField& field : HeaderFields(article)) {
    if (field.name != "Newsgroups" && field.name != "newsgroups") continue;
    std::size_t start = 0;
    while (start <= field.value.size()) {
      std::size_t comma = field.value.find(',', start);
      if (comma == std::string::npos) comma = field.value.size();
      std::string group = field.value.substr(start, comma - start);
      group.erase(0, group.find_first_not_of(" \t"));
      group.erase(group.find_last_not_of(" \t") + 1);
      if (!group.empty()) groups.push_back(group);
      start = comma + 1;
    }
  }
  if (groups.empty()) {
    delivery.refusal = "441 the article has no Newsgroups: line";
    return delivery;
  }
  for (const std::string& group : groups) {
    if (!SafeGroupName(group)) {
      delivery.refusal = "441 no such newsgroup: " + group;
      return delivery;
    }
  }
  for (const std::string& group : groups) {
    MakeFolders(GroupDir(group));
    const std::optional<GroupRange> range = Group(group);
    const std::uint64_t number = range ? range->high + 1 : 1;
    WriteFileAtomically(GroupDir(group) + "/" + std::to_string(number), article);
  }
  delivery.sent = true;
  return delivery;
}

}  // namespace tidewire::soup
