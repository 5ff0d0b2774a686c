#pragma once

#include <map>
#include <string>
#include <vector>

#include "soup/servers.h"

namespace tidewire::soup {

// The unique ids of the mails already in a packet (fetched) or marked read, per account,
// kept in HOME so that mail left on the server (-r) or marked read (-c) is fetched once only.
// Ids the server no longer has are forgotten, so the file stays as large as the mailbox.
class SeenMail {
 public:
  enum class How { kFetched, kMarked };

  SeenMail(std::string path, std::string account);

  [[nodiscard]] bool Contains(const std::string& uidl) const { return seen_.count(uidl) != 0; }
  [[nodiscard]] bool Fetched(const std::string& uidl) const {
    const auto found = seen_.find(uidl);
    return found != seen_.end() && found->second.how == How::kFetched;
  }
  // A mail marked read that is fetched later is still only marked: fetching never happens.
  void Add(const WaitingMail& mail, How how) {
    seen_.emplace(mail.uidl, Entry{how, mail.fingerprint});
  }
  void KeepOnly(const std::vector<WaitingMail>& waiting);
  // Whether ids of another mailbox generation are kept: those before PREFIX ("UIDVALIDITY:").
  [[nodiscard]] bool HoldsOtherThan(const std::string& prefix) const;
  // A renumbered mailbox: each waiting mail not known by its id takes over the entry of a
  // mail no longer waiting that has its fingerprint. The number taken over.
  std::size_t Adopt(const std::vector<WaitingMail>& waiting);
  // When the ids of WAITING ("UIDVALIDITY:UID") are of another generation than those kept,
  // the server renumbered its mailbox: known mails are adopted by fingerprint. What happened,
  // for the operator, or nothing when nothing did.
  [[nodiscard]] std::string FollowRenumbering(const std::vector<WaitingMail>& waiting);
  // Writes the file anew, atomically; the other accounts' lines stay.
  void Save() const;

  static constexpr const char* kFileName = ".tidewire-soup-seen";

 private:
  struct Entry {
    How how = How::kFetched;
    std::string fingerprint;
  };
  std::string path_;
  std::string account_;
  std::map<std::string, Entry> seen_;
  std::vector<std::string> other_lines_;
};

}  // namespace tidewire::soup
