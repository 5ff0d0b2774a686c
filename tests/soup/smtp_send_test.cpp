// Sending the reply packet to the real aiosmtpd: envelopes, Bcc, what a refusal leaves.
#include "formats/soup_packet.h"
#include "soup/soup_run.h"

namespace tidewire::soup::testing {
namespace {

std::string Mail(const std::string& mark, const std::string& extra_header = "",
                 const std::string& to = "friend@example.com") {
  return "Message-ID: <" + mark + "@tdwire>\nFrom: \"Jane Doe\" <jane@example.org>\nTo: " + to +
         "\n" + extra_header + "Subject: " + mark + "\n\n.leading dot\nBody of " + mark + ".\n";
}

std::string Crlf(const std::string& text) {
  std::string out;
  for (const char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

std::string Unique(const std::string& name) {
  return name + "." + std::to_string(::getpid()) + "." + std::to_string(::time(nullptr));
}

SoupResult Send(const fs::path& dir, const std::string& server,
                const std::vector<std::string>& extra = {}) {
  std::vector<std::string> args = {"-s", server};
  args.insert(args.end(), extra.begin(), extra.end());
  return RunSoup(dir, args);
}

TEST(SmtpSend, EachReplyGoesWithItsEnvelopeAndThePacketIsRemoved) {
  const Servers& servers = Servers::Get();
  TempDir dir;
  const std::string mark = Unique("envelope");
  const std::string folded = Mail(
      mark + "-a", "Cc: \"Smith, A.\" <a@example.net>,\n b@example.net\nBcc: hidden@example.net\n",
      "Bob <bob@example.com>,\n\tcarol@example.com");
  WritePacket(dir.path(), {folded, Mail(mark + "-b")}, {});
  // -r leaves mail on a POP3 server; the sent packet goes all the same.
  const SoupResult result =
      RunSoup(dir.path(), {"-r", "-s", servers.At("SMTP_PORT"), "alice", "secret"});
  ASSERT_EQ(result.status, 0) << result.output;
  const std::vector<std::string> stored = servers.StoredMail(mark);
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0],
            "X-MailFrom: jane@example.org\n"
            "X-RcptTo: bob@example.com, carol@example.com, a@example.net, "
            "b@example.net, hidden@example.net\n" +
                Crlf(Mail(mark + "-a", "Cc: \"Smith, A.\" <a@example.net>,\n b@example.net\n",
                          "Bob <bob@example.com>,\n\tcarol@example.com")));
  EXPECT_EQ(stored[1], "X-MailFrom: jane@example.org\nX-RcptTo: friend@example.com\n" +
                           Crlf(Mail(mark + "-b")));
  for (const char* name : {"REPLIES", "MAIL.MSG"}) EXPECT_FALSE(fs::exists(dir / name)) << name;
}

// A send run killed after the server took the first message: the next run sends the rest and
// not the first again.
TEST(SmtpSend, ARunKilledHalfwayResumesAfterTheLastMessageSent) {
  TempDir dir;
  std::vector<std::string> delivered;
  bool kill = true;
  bool in_data = false;
  std::string subject;
  std::string me;
  ScriptedServer server("220 smtp\r\n", [&](const std::string& line, const auto& send) {
    if (in_data) {
      if (line.starts_with("Subject: ")) subject = line.substr(9);
      if (line == ".") {
        in_data = false;
        delivered.push_back(subject);
        send("250 queued\r\n");
      }
    } else if (line.starts_with("MAIL FROM") && kill && delivered.size() == 1) {
      kill = false;
      (void)std::system(("pkill -KILL -f -- '-s " + me + "$' >/dev/null").c_str());
    } else if (line == "DATA") {
      in_data = true;
      send("354 go on\r\n");
    } else {
      send(line == "QUIT" ? "221 bye\r\n" : "250 ok\r\n");
    }
  });
  me = server.At();
  WritePacket(dir.path(), {Mail("m1"), Mail("m2"), Mail("m3")}, {});
  EXPECT_EQ(RunSoup(dir.path(), {"-s", me}).status, 128 + SIGKILL);
  EXPECT_EQ(delivered, (std::vector<std::string>{"m1"}));
  const SoupResult again = RunSoup(dir.path(), {"-s", me});
  EXPECT_EQ(again.status, 0) << again.output;
  EXPECT_EQ(delivered, (std::vector<std::string>{"m1", "m2", "m3"}));
  EXPECT_NE(again.output.find("was sent by a run that was stopped"), std::string::npos);
  for (const char* name : {"REPLIES", "MAIL.MSG", "REPLIES.SNT"}) {
    EXPECT_FALSE(fs::exists(dir / name)) << name;
  }
}

TEST(SmtpSend, ARefusedMessageStaysAloneInThePacket) {
  const Servers& servers = Servers::Get();
  TempDir dir;
  const std::string mark = Unique("refusal");
  const std::string refused = Mail(mark + "-3", "X-Test-Refuse: yes\n");
  WritePacket(dir.path(),
              {Mail(mark + "-1"), Mail(mark + "-2", "", "refused@example.com, ok@example.com"),
               refused, Mail(mark + "-4")},
              {});
  for (int run = 0; run < 2; ++run) {
    const SoupResult result = Send(dir.path(), servers.At("SMTP_PORT"));
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_NE(result.output.find("was refused: 554"), std::string::npos) << result.output;
    // Nothing lost, nothing sent twice.
    const std::vector<std::string> stored = servers.StoredMail(mark);
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_NE(stored[1].find("X-RcptTo: ok@example.com\n"), std::string::npos);
    EXPECT_NE(stored[2].find("Subject: " + mark + "-4"), std::string::npos);
    EXPECT_EQ(ReadBytes(dir / "MAIL.MSG"),
              std::string("\0\0\0", 3) + static_cast<char>(refused.size()) + refused);
    EXPECT_EQ(ReadBytes(dir / "REPLIES"), "MAIL\tmail\tb\n");
    // The sender learns of the refused recipient once, in the mail the gateway converts next.
    const std::string notice = ReadBytes(dir / "0000000.MSG");
    EXPECT_EQ(notice.find("From POPmail "), 0u) << notice;
    EXPECT_EQ(notice.find("\nFrom POPmail "), std::string::npos) << notice;
    EXPECT_NE(notice.find("To: jane@example.org\nSubject: Undelivered mail: \"" + mark + "-2\""),
              std::string::npos)
        << notice;
    EXPECT_NE(notice.find("  refused@example.com (550 5.1.1"), std::string::npos) << notice;
  }
}

// Messages are read one at a time; one too large to hand over stays, with a complaint.
TEST(SmtpSend, AnOversizedMessageStaysAndTheOthersGo) {
  const Servers& servers = Servers::Get();
  TempDir dir;
  const std::string mark = Unique("oversized");
  const std::string big = Mail(mark + "-big") + std::string(16u << 20, 'x') + "\n";
  WritePacket(dir.path(), {Mail(mark + "-1"), big, Mail(mark + "-2")}, {});
  const SoupResult result = Send(dir.path(), servers.At("SMTP_PORT"));
  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_NE(result.output.find("mail 2 of ./MAIL.MSG is not sent: it is larger than 16 MiB"),
            std::string::npos)
      << result.output;
  EXPECT_EQ(servers.StoredMail(mark).size(), 2u);
  EXPECT_EQ(ReadBytes(dir / "MAIL.MSG"), formats::JoinPacket({big}, 'b'));
}

TEST(SmtpSend, TlsLoginAndFailuresThatKeepThePacketWhole) {
  const Servers& servers = Servers::Get();
  SilentServer dead;
  const struct {
    std::string server;
    std::string password;
    int status;
    const char* says;
  } cases[] = {
      {servers.At("SMTPS_PORT", "smtps"), "wrong", 1, "refused the login of alice"},
      {servers.At("BAD_TLS_PORT", "smtps"), "secret", 1, "the certificate is not trusted"},
      {dead.At(), "secret", 1, "no answer in time"},
      {servers.At("SMTPS_PORT", "smtps"), "secret", 0, "sent 1 of 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.server);
    TempDir dir;
    const std::string mark = Unique("tls");
    WritePacket(dir.path(), {Mail(mark)}, {});
    const std::string packet = ReadBytes(dir / "MAIL.MSG");
    const SoupResult result =
        RunSoup(dir.path(), {"-s", c.server, "alice", c.password}, {"TIDEWIRE_SOUP_TIMEOUT=1"});
    EXPECT_EQ(result.status, c.status) << result.output;
    EXPECT_NE(result.output.find(c.says), std::string::npos) << result.output;
    EXPECT_EQ(servers.StoredMail(mark).size(), c.status == 0 ? 1u : 0u);
    EXPECT_EQ(ReadBytes(dir / "MAIL.MSG"), c.status == 0 ? "" : packet);
  }
}

}  // namespace
}  // namespace tidewire::soup::testing
