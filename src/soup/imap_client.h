#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "soup/connection.h"
#include "soup/server_address.h"
#include "soup/servers.h"

namespace tidewire::soup {

// An IMAP4rev1 session on the INBOX (RFC 3501): STARTTLS when offered, LOGIN or a SASL login,
// ENABLE UTF8=ACCEPT where offered, UID FETCH with BODY.PEEK (nothing is marked seen), and
// deletion by \Deleted and (UID) EXPUNGE in Finish. A mail's id is "UIDVALIDITY:UID".
class ImapClient : public MailDrop {
 public:
  ImapClient(const ServerAddress& address, const Credentials& login);
  ImapClient(std::unique_ptr<Connection> connection, const ServerAddress& address,
             const Credentials& login);

  [[nodiscard]] std::vector<WaitingMail> List() override;
  void Retrieve(const WaitingMail& mail,
                const std::function<void(std::string_view line)>& line) override;
  void Delete(const WaitingMail& mail) override;
  void Finish() override;

  // The INBOX's message count, by STATUS: nothing is selected, nothing changes.
  [[nodiscard]] std::uint64_t Count();
  [[nodiscard]] const std::set<std::string>& Capabilities() const { return capabilities_; }

  // One server response: its line with each literal replaced by "\x01<index>\x02".
  struct Response {
    std::string line;
    std::vector<std::string> literals;
    bool oversize = false;  // a literal over the message limit was read past
  };

 private:
  using Untagged = std::function<void(const Response&)>;
  // Sends a tagged command; untagged answers go to UNTAGGED. The tagged answer's line.
  Response Command(const std::string& command, const Untagged& untagged = {});
  Response ReadResponse();
  void ReadCapabilities(const std::string& text);
  void LogIn(const ServerAddress& address, const Credentials& login);
  void Select();

  std::unique_ptr<Connection> connection_;
  std::set<std::string> capabilities_;  // upper case
  unsigned next_tag_ = 0;
  bool selected_ = false;
  std::string validity_;
  std::uint64_t exists_ = 0;
  std::vector<std::uint64_t> doomed_;
};

// A FETCH response's data items: name (upper case) to value (atom, string or literal, or the
// parenthesised text). Exposed for the tests.
[[nodiscard]] std::vector<std::pair<std::string, std::string>> FetchItems(
    const ImapClient::Response& response);

// UIDs as an IMAP sequence set, runs joined: "3:5,9".
[[nodiscard]] std::string UidSet(const std::vector<std::uint64_t>& uids);

}  // namespace tidewire::soup
