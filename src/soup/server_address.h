#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tidewire::soup {

// What a server is for: the mailbox mail is fetched from, sending mail, news.
enum class Service { kMailbox, kSmtp, kNntp };

// The protocol spoken with it.
enum class Protocol { kPop3, kImap, kSmtp, kNntp };

enum class TlsMode {
  kStartTlsWhenOffered,  // plain connect, then STARTTLS/STLS if the server offers it
  kImplicit,             // TLS from the first byte (pop3s, smtps, nntps)
};

// Where one server is: a host and port with its TLS mode and optional credentials, or a
// local spool folder standing in for it.
struct ServerAddress {
  bool spool = false;
  std::string spool_dir;  // with spool
  std::string host;       // without brackets for IPv6
  std::uint16_t port = 0;
  TlsMode tls = TlsMode::kStartTlsWhenOffered;
  Protocol protocol = Protocol::kPop3;
  std::string user;  // from a URL's user:pass@, empty otherwise
  std::string password;
  bool has_credentials = false;  // a user or password came with the URL
  bool has_password = false;     // the URL's user part held ":password"
  // A URL's ";AUTH=" mechanism (XOAUTH2, OAUTHBEARER): the secret is then an access token.
  std::string mechanism;

  // "host:port" as an operator reads it, without credentials.
  [[nodiscard]] std::string Display() const;
};

// Reads "host", "host:port", "[v6]:port", "spool:DIR" or a URL with one of the schemes of the
// service (pop3 pop3s imap imaps / smtp smtps submission / nntp nntps), optionally with
// user:pass@ and an auth parameter after the user: "imaps://user;AUTH=XOAUTH2@host",
// "pop3s://;AUTH=OAUTHBEARER@host".
// Throws SoupError naming the text when it is none of these.
[[nodiscard]] ServerAddress ParseServerAddress(std::string_view text, Service service);

}  // namespace tidewire::soup
