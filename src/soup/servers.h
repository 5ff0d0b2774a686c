#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidewire::soup {

// A login name and password (from the command line or a URL), and the SASL mechanism a URL
// asked for: with XOAUTH2 or OAUTHBEARER the secret is an OAuth2 access token.
struct Credentials {
  std::string user;
  std::string password;
  std::string mechanism;
};

// One message waiting in a mailbox: its number in this session and its unique id (empty
// when the server keeps none).
struct WaitingMail {
  std::size_t number = 0;  // the IMAP UID
  std::string uidl;        // IMAP: "UIDVALIDITY:UID"
  std::uint64_t size = 0;  // when the server said (IMAP)
  // The Message-ID and size, which still name the mail when the server renumbers its mailbox.
  std::string fingerprint;
};

// The mailbox the mail is fetched from: a POP3 server or a spool folder.
class MailDrop {
 public:
  virtual ~MailDrop() = default;
  // The waiting messages in the mailbox's order.
  [[nodiscard]] virtual std::vector<WaitingMail> List() = 0;
  // Gives each line of the message, without its line end, to LINE.
  virtual void Retrieve(const WaitingMail& mail,
                        const std::function<void(std::string_view line)>& line) = 0;
  // Marks the message for deletion; Finish makes the deletions take effect.
  virtual void Delete(const WaitingMail& mail) = 0;
  virtual void Finish() = 0;
};

// Who sends and who receives one message.
struct Envelope {
  std::string sender;
  std::vector<std::string> recipients;
};

// What became of one message handed to a server.
struct Delivery {
  bool sent = false;
  std::string refusal;               // the server's words when not sent
  std::vector<std::string> refused;  // recipients refused while others took it
};

// Where mail goes out: an SMTP server or a spool folder. Send throws SoupError when the
// server is gone (nothing more can be sent); a refusal of one message is a Delivery.
class MailSender {
 public:
  virtual ~MailSender() = default;
  // MESSAGE has LF line ends.
  [[nodiscard]] virtual Delivery Send(const Envelope& envelope, std::string_view message) = 0;
  virtual void Finish() = 0;
};

// The numbers a newsgroup holds now.
struct GroupRange {
  std::uint64_t count = 0;
  std::uint64_t low = 0;
  std::uint64_t high = 0;
};

// A news server: an NNTP server or a spool folder.
class NewsServer {
 public:
  virtual ~NewsServer() = default;
  // Nothing when the server has no such group.
  [[nodiscard]] virtual std::optional<GroupRange> Group(const std::string& name) = 0;
  // The article with LF line ends, or nothing when the group has no article of that number.
  [[nodiscard]] virtual std::optional<std::string> Article(const std::string& group,
                                                           std::uint64_t number) = 0;
  // ARTICLE has LF line ends.
  [[nodiscard]] virtual Delivery Post(std::string_view article) = 0;
  virtual void Finish() = 0;
};

}  // namespace tidewire::soup
