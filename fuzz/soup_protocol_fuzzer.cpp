// Arbitrary bytes as everything a server answers to the SOUP client: the first byte picks the
// client (and a few options), the rest is written into one end of a socketpair before the
// client runs on the other. Each session must end with a result or a SoupError: no crash, no
// hang, no read out of bounds.
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "soup/connection.h"
#include "soup/imap_client.h"
#include "soup/nntp_client.h"
#include "soup/pop3_client.h"
#include "soup/protocol.h"
#include "soup/smtp_client.h"
#include "soup/soup_error.h"

using namespace tidewire::soup;

namespace {

// The answers must fit the socket's buffer, as nobody reads the other way while they are
// written.
constexpr std::size_t kMaxAnswers = 64 * 1024;

void RunPop3(std::unique_ptr<Connection> connection, const ServerAddress& address) {
  Pop3Client client(std::move(connection), address, {"gateway", "secret", ""});
  const std::vector<WaitingMail> mails = client.List();
  std::size_t lines = 0;
  for (std::size_t i = 0; i < mails.size() && i < 3; ++i) {
    client.Retrieve(mails[i], [&](std::string_view) { ++lines; });
  }
  if (!mails.empty()) client.Delete(mails.front());
  client.Finish();
}

void RunImap(std::unique_ptr<Connection> connection, const ServerAddress& address, bool oauth) {
  ImapClient client(std::move(connection), address, {"gateway", "secret", oauth ? "XOAUTH2" : ""});
  const std::vector<WaitingMail> mails = client.List();
  std::size_t lines = 0;
  for (std::size_t i = 0; i < mails.size() && i < 3; ++i) {
    client.Retrieve(mails[i], [&](std::string_view) { ++lines; });
  }
  if (!mails.empty()) client.Delete(mails.front());
  (void)client.Count();
  client.Finish();
}

void RunSmtp(std::unique_ptr<Connection> connection, const ServerAddress& address,
             bool with_login) {
  SmtpClient client(std::move(connection), address,
                    with_login ? Credentials{"gateway", "secret", ""} : Credentials{});
  const Envelope envelope{"gate@example.net", {"a@example.org", "b@example.org"}};
  (void)client.Send(envelope, "Subject: test\n\n.dot line\nbody \xe4\n");
  (void)client.Send({"gate@example.net", {"c@example.org"}}, "Subject: two\n\nbody\n");
  client.Finish();
}

void RunNntp(std::unique_ptr<Connection> connection, const ServerAddress& address) {
  NntpClient client(std::move(connection), address);
  const std::optional<GroupRange> range = client.Group("alt.test");
  (void)client.Article("alt.test", range ? range->low : 1);
  (void)client.Article("comp.lang.c", 1);
  (void)client.Post("Newsgroups: alt.test\nSubject: test\n\n.dot line\nbody\n");
  client.Finish();
}

void RunReaders(Connection& connection) {
  for (int i = 0; i < 8; ++i) {
    (void)ReadReply(connection);
    std::size_t lines = 0;
    ReadDotBlock(connection, [&](std::string_view) { ++lines; });
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TIDEWIRE_SOUP_TIMEOUT", "0.2", 1);
  signal(SIGPIPE, SIG_IGN);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > kMaxAnswers) return 0;
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) std::abort();
  const int server = ends[0];
  for (std::size_t done = 1; done < size;) {
    const ssize_t written = ::write(server, data + done, size - done);
    if (written <= 0) std::abort();
    done += static_cast<std::size_t>(written);
  }
  // The server has said all it says; its end stays open to take the client's commands.
  ::shutdown(server, SHUT_WR);

  ServerAddress address;
  address.host = "server.example";
  address.port = 119;
  const unsigned options = data[0] >> 2;
  if (options & 1) {
    address.user = "reader";
    address.password = "pass";
    address.has_credentials = true;
  }
  try {
    std::unique_ptr<Connection> connection = Connection::FromDescriptor(ends[1], "fuzz:0");
    switch (data[0] % 4) {
      case 0:
        RunReaders(*connection);
        break;
      case 1:
        if (options & 4) {
          RunImap(std::move(connection), address, (options & 2) != 0);
        } else {
          RunPop3(std::move(connection), address);
        }
        break;
      case 2:
        RunSmtp(std::move(connection), address, (options & 2) != 0);
        break;
      case 3:
        RunNntp(std::move(connection), address);
        break;
    }
  } catch (const SoupError&) {
    // A server that answers nonsense or goes away ends the session with a clear error.
  }
  ::close(server);
  return 0;
}
