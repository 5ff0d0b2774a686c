// Server answers the fuzzer (fuzz/soup_protocol_fuzzer.cpp) found troublesome, replayed the
// same way: written into one end of a socketpair, the client running on the other.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

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

namespace tidewire::soup {
namespace {

enum class Client { kReaders, kPop3, kImap, kSmtp, kNntp };

struct AnswersRow {
  const char* name;
  Client client;
  std::string answers;
};

// The fuzzer's sessions, with the login and credentials it gives.
void RunSession(Client client, std::unique_ptr<Connection> connection) {
  ServerAddress address;
  address.host = "server.example";
  address.port = 119;
  switch (client) {
    case Client::kReaders:
      for (int i = 0; i < 8; ++i) {
        (void)ReadReply(*connection);
        ReadDotBlock(*connection, [](std::string_view) {});
      }
      break;
    case Client::kPop3: {
      Pop3Client pop3(std::move(connection), address, {"gateway", "secret", ""});
      const std::vector<WaitingMail> mails = pop3.List();
      for (std::size_t i = 0; i < mails.size() && i < 3; ++i) {
        pop3.Retrieve(mails[i], [](std::string_view) {});
      }
      if (!mails.empty()) pop3.Delete(mails.front());
      pop3.Finish();
      break;
    }
    case Client::kImap: {
      ImapClient imap(std::move(connection), address, {"gateway", "secret", ""});
      const std::vector<WaitingMail> mails = imap.List();
      for (std::size_t i = 0; i < mails.size() && i < 3; ++i) {
        imap.Retrieve(mails[i], [](std::string_view) {});
      }
      if (!mails.empty()) imap.Delete(mails.front());
      imap.Finish();
      break;
    }
    case Client::kSmtp: {
      SmtpClient smtp(std::move(connection), address, {"gateway", "secret", ""});
      (void)smtp.Send({"gate@example.net", {"a@example.org"}}, "Subject: test\n\nbody\n");
      smtp.Finish();
      break;
    }
    case Client::kNntp: {
      NntpClient nntp(std::move(connection), address);
      const std::optional<GroupRange> range = nntp.Group("alt.test");
      (void)nntp.Article("alt.test", range ? range->low : 1);
      (void)nntp.Post("Newsgroups: alt.test\nSubject: test\n\nbody\n");
      nntp.Finish();
      break;
    }
  }
}

class ProtocolRobustness : public ::testing::TestWithParam<AnswersRow> {};

// The only claim: the session ends, with a result or a SoupError, and no sanitizer report.
TEST_P(ProtocolRobustness, SessionEnds) {
  setenv("TIDEWIRE_SOUP_TIMEOUT", "0.2", 1);
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
  const std::string& answers = GetParam().answers;
  ASSERT_EQ(::write(ends[0], answers.data(), answers.size()), static_cast<ssize_t>(answers.size()));
  ::shutdown(ends[0], SHUT_WR);
  try {
    RunSession(GetParam().client, Connection::FromDescriptor(ends[1], "test:0"));
  } catch (const SoupError&) {
  }
  ::close(ends[0]);
  unsetenv("TIDEWIRE_SOUP_TIMEOUT");
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    FuzzerFinds, ProtocolRobustness,
    ::testing::Values(
        // Without UIDL the list came from STAT's count alone: 80 million entries.
        AnswersRow{"Pop3StatCountFillsMemory", Client::kPop3,
                   "+OK K\r}\n-ERR\r\n+OK\r\n+OKG\r\n-ERR\r\n+OK 80250099\r+\0\0+OKR\rK\n"s},
        // A literal announced larger than any message is not waited for, and a FETCH whose
        // literal ends the stream is no message.
        AnswersRow{"ImapHugeLiteral", Client::kImap,
                   "* OK\r\nt1 OK\r\nt2 OK\r\nt3 OK\r\n* 1 EXISTS\r\nt4 OK\r\n"
                   "* 1 FETCH (UID 7 BODY[] {99999999999}\r\nabc"s},
        AnswersRow{"ImapLiteralCutShort", Client::kImap,
                   "* OK\r\nt1 OK\r\nt2 OK\r\nt3 OK\r\n* 1 EXISTS\r\nt4 OK\r\n"
                   "* 1 FETCH (UID 7 RFC822.SIZE 5 BODY[HEADER.FIELDS (MESSAGE-ID)] {30}\r\nab"s},
        AnswersRow{"ImapUntaggedFlood", Client::kImap,
                   "* OK [CAPABILITY IMAP4rev1]\r\n* CAPABILITY\r\n* CAPABILITY AUTH=PLAIN\r\n"
                   "+ \r\n* BYE gone\r\n"s}),
    [](const ::testing::TestParamInfo<AnswersRow>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tidewire::soup
