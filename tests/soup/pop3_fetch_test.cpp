// Fetching mail from the real dovecot: exact bytes, exactly once, TLS, failures.
#include <thread>

#include "soup/soup_run.h"

namespace tidewire::soup::testing {
namespace {

std::vector<std::string> Fetch(const fs::path& dir, const std::string& user, bool leave = false,
                               int expected_status = 0) {
  std::vector<std::string> flags = {"-k", "500000"};
  if (leave) flags.insert(flags.begin(), "-r");
  return FetchBy(dir, Servers::Get().At("POP3_PORT"), user, flags, nullptr, expected_status);
}

TEST(Pop3Fetch, WritesEachMessageExactlyThenEmptiesTheMailbox) {
  const Servers& servers = Servers::Get();
  servers.EmptyMailbox("user01");
  servers.Deliver("user01", "1.a", kTricky);
  servers.Deliver("user01", "2.b", Mail("second"));
  TempDir dir;
  WriteBytes(dir / "0000000.MSG", "");  // what an earlier fetch left is appended to
  const SoupResult result =
      RunSoup(dir.path(), {"-k", "500000", servers.At("POP3_PORT"), "user01", "secret"});
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(Messages(ReadBytes(dir / "0000000.MSG")),
            (std::vector<std::string>{kTrickyInPacket, Mail("second")}));
  EXPECT_EQ(ReadBytes(dir / "AREAS"), "0000000\tEmail\tmn\n");
  EXPECT_EQ(servers.MailboxSize("user01"), 0u);
  fs::remove(dir / "0000000.MSG");
  EXPECT_TRUE(Fetch(dir.path(), "user01").empty());
  EXPECT_FALSE(fs::exists(dir / "AREAS"));
}

TEST(Pop3Fetch, LeftOnTheServerEachMessageComesOnce) {
  const Servers& servers = Servers::Get();
  servers.EmptyMailbox("user02");
  servers.Deliver("user02", "1.a", Mail("one"));
  servers.Deliver("user02", "2.b", Mail("two"));
  TempDir dir;
  EXPECT_EQ(Fetch(dir.path(), "user02", true).size(), 2u);
  EXPECT_TRUE(Fetch(dir.path(), "user02", true).empty());
  servers.Deliver("user02", "3.c", Mail("three"));
  EXPECT_EQ(Fetch(dir.path(), "user02", true), std::vector<std::string>{Mail("three")});
  EXPECT_EQ(servers.MailboxSize("user02"), 3u);
  // Without -r the mail already fetched is deleted, and still not fetched again.
  EXPECT_TRUE(Fetch(dir.path(), "user02").empty());
  EXPECT_EQ(servers.MailboxSize("user02"), 0u);
}

TEST(Pop3Fetch, MarkedReadMailIsNeverFetchedNorDeleted) {
  const Servers& servers = Servers::Get();
  servers.EmptyMailbox("user03");
  servers.Deliver("user03", "1.a", Mail("old one"));
  servers.Deliver("user03", "2.b", Mail("old two"));
  TempDir dir;
  const SoupResult mark =
      RunSoup(dir.path(), {"-c", "0", servers.At("POP3_PORT"), "user03", "secret"});
  ASSERT_EQ(mark.status, 0) << mark.output;
  EXPECT_FALSE(fs::exists(dir / "0000000.MSG"));
  servers.Deliver("user03", "3.c", Mail("new"));
  EXPECT_EQ(Fetch(dir.path(), "user03"), std::vector<std::string>{Mail("new")});
  EXPECT_EQ(servers.MailboxSize("user03"), 2u);
}

TEST(Pop3Fetch, TlsIsVerifiedAgainstTheTrustedCertificates) {
  const Servers& servers = Servers::Get();
  servers.EmptyMailbox("user04");
  servers.Deliver("user04", "1.a", Mail("over tls"));
  TempDir dir;
  EXPECT_EQ(Fetch(dir.path(), "user04", true).size(), 1u);  // the plain port offers STLS
  EXPECT_EQ(servers.MailboxSize("user04"), 1u);
  const struct {
    std::string server;
    std::vector<std::string> env;
    int status;
    const char* says;
  } cases[] = {
      {servers.At("POP3S_PORT", "pop3s"), {}, 0, "fetched 1 mail(s)"},
      {servers.At("BAD_TLS_PORT", "pop3s"), {}, 1, "the certificate is not trusted"},
      {servers.At("POP3S_PORT", "pop3s"),
       {"SSL_CERT_FILE=/nonexistent"},
       1,
       "the certificate is not trusted"},
      {servers.At("POP3_PORT"), {"SSL_CERT_FILE=/nonexistent"}, 1, "certificate is not trusted"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.server);
    fs::remove(dir / ".tidewire-soup-seen");
    const SoupResult result =
        RunSoup(dir.path(), {"-r", "-k", "0", c.server, "user04", "secret"}, c.env);
    EXPECT_EQ(result.status, c.status) << result.output;
    EXPECT_NE(result.output.find(c.says), std::string::npos) << result.output;
    fs::remove(dir / "0000000.MSG");
  }
  EXPECT_EQ(servers.MailboxSize("user04"), 1u);
}

TEST(Pop3Fetch, RefusedLoginAndDeadServerLoseNothing) {
  const Servers& servers = Servers::Get();
  servers.EmptyMailbox("user05");
  servers.Deliver("user05", "1.a", Mail("kept"));
  TempDir dir;
  SilentServer dead;
  const struct {
    std::string server;
    std::string password;
    const char* says;
    const char* timeout;  // dovecot answers a wrong password after a delay
  } cases[] = {
      {servers.At("POP3_PORT"), "wrong", "refused the login of user05", "20"},
      {dead.At(), "secret", "no answer in time", "1"},
      {"127.0.0.1:1", "secret", "cannot connect to 127.0.0.1:1", "1"},
  };
  for (const auto& c : cases) {
    const SoupResult result = RunSoup(dir.path(), {"-k", "0", c.server, "user05", c.password},
                                      {std::string("TIDEWIRE_SOUP_TIMEOUT=") + c.timeout});
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_NE(result.output.find(c.says), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find(c.password == "wrong" ? "wrong" : "secret"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(dir / "0000000.MSG"));
  EXPECT_EQ(servers.MailboxSize("user05"), 1u);
}

TEST(Pop3Fetch, ThePasswordIsNotShownInTheProcessList) {
  TempDir dir;
  SilentServer dead;
  std::thread run([&] {
    (void)RunSoup(dir.path(), {"-k", "0", dead.At(), "user06", "pw-not-for-ps"},
                  {"TIDEWIRE_SOUP_TIMEOUT=3"});
  });
  fs::path process;
  for (int i = 0; i < 300 && process.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (const auto& entry : fs::directory_iterator("/proc")) {
      if (ReadBytes(entry.path() / "cmdline").find(dead.At()) != std::string::npos) {
        process = entry.path();
      }
    }
  }
  // Well after its start the client waits on the dead server; ps shows what it shows now.
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  const std::string cmdline = ReadBytes(process / "cmdline");
  const bool seen = cmdline.find(dead.At()) != std::string::npos;  // still the client
  EXPECT_EQ(cmdline.find("pw-not-for-ps"), std::string::npos);
  run.join();
  EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace tidewire::soup::testing
