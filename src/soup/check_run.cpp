// The account check: connect, show the TLS and the mechanisms, log in, count the waiting mail,
// log out. Nothing is fetched, sent, marked or deleted.
#include <cstdint>

#include "soup/imap_client.h"
#include "soup/nntp_client.h"
#include "soup/pop3_client.h"
#include "soup/runs.h"
#include "soup/sasl.h"
#include "soup/smtp_client.h"
#include "soup/soup_error.h"

namespace tidewire::soup {
namespace {

// The service a URL's scheme names; a bare host is the mailbox, as in a fetch.
ServerAddress CheckedAddress(const std::string& text) {
  const std::string scheme = text.substr(0, text.find("://"));
  if (text.find("://") != std::string::npos) {
    if (scheme == "smtp" || scheme == "smtps" || scheme == "submission") {
      return ParseServerAddress(text, Service::kSmtp);
    }
    if (scheme == "nntp" || scheme == "nntps") return ParseServerAddress(text, Service::kNntp);
  }
  return ParseServerAddress(text, Service::kMailbox);
}

}  // namespace

int CheckRun(const Options& options) {
  SetTracing(true);
  const ServerAddress address = CheckedAddress(options.host);
  if (address.spool) throw SoupError("a spool: folder is no server: nothing to check");
  const Credentials login = LoginFor(address, options.login);
  switch (address.protocol) {
    case Protocol::kPop3: {
      Pop3Client client(address, login);
      const std::uint64_t count = client.Count();
      client.Finish();
      Say(std::to_string(count) + " message(s) waiting");
      break;
    }
    case Protocol::kImap: {
      ImapClient client(address, login);
      const std::uint64_t count = client.Count();
      client.Finish();
      Say(std::to_string(count) + " message(s) waiting in INBOX");
      break;
    }
    case Protocol::kSmtp: {
      SmtpClient client(address, login);
      client.Finish();
      Say(login.user.empty() ? "the server greets; no login name given, so no login tried"
                             : "the server takes mail from this account");
      break;
    }
    case Protocol::kNntp: {
      // As in a pass: the news server gets a login from its URL only.
      NntpClient client(address);
      client.Finish();
      Say(address.has_credentials ? "the news server serves this account"
                                  : "the news server answers (no login in its URL, none tried)");
      break;
    }
  }
  Say("logged out; nothing was fetched, sent or changed");
  return 0;
}

}  // namespace tidewire::soup
