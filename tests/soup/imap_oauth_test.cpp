// Every provider: IMAP fetches from the real dovecot, OAuth2 logins (XOAUTH2, OAUTHBEARER) with
// a token from TOKEN.CMD against dovecot's oauth2 passdb and aiosmtpd, UTF-8, the account check.
#include <mutex>
#include <thread>

#include "soup/sasl.h"
#include "soup/soup_run.h"
#include "support/holds.h"

namespace tidewire::soup::testing {
namespace {

using tidewire::testing::Holds;

std::string Imap(const std::string& key = "IMAP_PORT", const std::string& auth = "") {
  const Servers& servers = Servers::Get();
  return std::string(key == "IMAPS_PORT" ? "imaps" : "imap") + "://" + auth +
         (auth.empty() ? "" : "@") + "127.0.0.1:" + servers[key];
}

std::string WithId(const std::string& subject) {
  return "Message-ID: <" + subject + "@example.org>\n" + Mail(subject);
}

TEST(ImapFetch, BringsEachMessageExactlyOnceThenEmptiesTheInbox) {
  const Servers& servers = Servers::Get();
  servers.EmptyMailbox("user21");
  const std::string eight_bit = "Subject: caf\xc3\xa9\n\n\xe4\xf6 latin-1 and \xc3\xa9 utf-8\n";
  servers.Deliver("user21", "1.a", kTricky);
  servers.Deliver("user21", "2.b", eight_bit);
  TempDir dir;
  // STARTTLS on the plain port (the log line says TLS), then -r twice: each message comes once.
  EXPECT_EQ(FetchBy(dir.path(), Imap(), "user21", {"-r", "-n"}),
            (std::vector<std::string>{kTrickyInPacket, eight_bit}));
  static const std::regex login(
      "imap-login: Info: Login: user=<user21>, method=PLAIN, rip=127.0.0.1, [^\n]*, TLS[,\n]");
  EXPECT_TRUE(std::regex_search(ReadBytes(servers["POP3_LOG"]), login));
  EXPECT_TRUE(FetchBy(dir.path(), Imap("IMAPS_PORT"), "user21", {"-r", "-n"}).empty());
  servers.Deliver("user21", "3.c", WithId("third"));
  EXPECT_EQ(FetchBy(dir.path(), Imap("IMAPS_PORT"), "user21", {"-r", "-n"}),
            std::vector<std::string>{WithId("third")});
  EXPECT_EQ(servers.MailboxSize("user21"), 3u);
  // Without -r what was fetched is expunged, and nothing comes twice.
  servers.Deliver("user21", "4.d", WithId("fourth"));
  EXPECT_EQ(FetchBy(dir.path(), Imap(), "user21", {"-n"}),
            std::vector<std::string>{WithId("fourth")});
  EXPECT_EQ(servers.MailboxSize("user21"), 0u);
}

TEST(ImapFetch, MarkedReadAndRenumberedMailIsNotFetchedAgain) {
  const Servers& servers = Servers::Get();
  servers.EmptyMailbox("user22");
  servers.Deliver("user22", "1.a", WithId("old"));
  TempDir dir;
  const SoupResult mark = RunSoup(dir.path(), {"-n", "-c", "0", Imap(), "user22", "secret"});
  ASSERT_EQ(mark.status, 0) << mark.output;
  EXPECT_TRUE(Holds(mark.output, "marked 1 waiting mail(s) as read"));
  servers.Deliver("user22", "2.b", WithId("kept"));
  EXPECT_EQ(FetchBy(dir.path(), Imap(), "user22", {"-r", "-n"}),
            std::vector<std::string>{WithId("kept")});
  // The server forgets its UIDs (a restored or migrated mailbox): UIDVALIDITY changes.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  const fs::path maildir = fs::path(servers["POP3_HOME_ROOT"]) / "user22" / "Maildir";
  for (const auto& entry : fs::directory_iterator(maildir)) {
    if (entry.path().filename().string().rfind("dovecot", 0) == 0) fs::remove(entry.path());
  }
  servers.Deliver("user22", "3.c", WithId("new"));
  std::string said;
  EXPECT_EQ(FetchBy(dir.path(), Imap(), "user22", {"-r", "-n"}, &said),
            std::vector<std::string>{WithId("new")});
  EXPECT_TRUE(Holds(said,
                    "the server renumbered the mailbox (its UIDVALIDITY changed): 2 mail(s)"
                    " known by Message-ID and size keep their state; 1 other"));
  EXPECT_TRUE(FetchBy(dir.path(), Imap(), "user22", {"-n"}).empty());
  EXPECT_EQ(servers.MailboxSize("user22"), 1u);  // the one marked read stays
}

// The token is the first line TOKEN.CMD prints; a wrong one fails with the server's decoded
// error, and the right password beside it is never tried.
TEST(OAuth2, LogsInWithTheTokenAndNeverFallsBackToThePassword) {
  const Servers& servers = Servers::Get();
  servers.EmptyMailbox("user23");
  servers.Deliver("user23", "1.a", WithId("oauth"));
  TempDir dir;
  const std::string pop3 = "127.0.0.1:" + servers["POP3_PORT"];
  const std::string pop3s = "127.0.0.1:" + servers["POP3S_PORT"];
  const struct {
    std::string server;
    const char* token_cmd;  // nullptr: no TOKEN.CMD, the password is the token
    const char* password;
    int status;
    const char* says;
  } cases[] = {
      {Imap("IMAPS_PORT", ";AUTH=XOAUTH2"), "echo valid-user23; echo second line", "x", 0,
       "logged in as user23 (XOAUTH2)"},
      {Imap("IMAP_PORT", "user23;AUTH=OAUTHBEARER"), "printf 'valid-user23\\r\\n'", "x", 0,
       "logged in as user23 (OAUTHBEARER)"},
      {"pop3://;AUTH=XOAUTH2@" + pop3, nullptr, "valid-user23", 0, "logged in as user23 (XOAUTH2)"},
      {"pop3s://;auth=oauthbearer@" + pop3s, "echo valid-user23", "x", 0, "1 message(s) waiting"},
      {Imap("IMAPS_PORT", ";AUTH=XOAUTH2"), "echo stale", "secret", 1,
       "refused the XOAUTH2 login of user23: NO [AUTHENTICATIONFAILED] Authentication failed. "
       "({\"status\":\"401\",\"schemes\":\"bearer\",\"scope\":\"mail\"})"},
      {"pop3s://;AUTH=OAUTHBEARER@" + pop3s, "echo stale", "secret", 1,
       "refused the OAUTHBEARER login of user23: -ERR [AUTH] Authentication failed. "
       "({\"status\":\"invalid_token\"})"},
      {Imap("IMAP_PORT", ";AUTH=XOAUTH2"), "exit 3", "secret", 1,
       "TOKEN.CMD failed (exit status 3): no token, no login"},
      {Imap("IMAP_PORT", ";AUTH=XOAUTH2"), "true", "secret", 1,
       "TOKEN.CMD printed no token in its first line"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.server + " " + (c.token_cmd ? c.token_cmd : "(no TOKEN.CMD)"));
    fs::remove(dir / "TOKEN.CMD");
    if (c.token_cmd != nullptr) WriteBytes(dir / "TOKEN.CMD", std::string(c.token_cmd) + "\n");
    const SoupResult result = RunSoup(dir.path(), {"--check", c.server, "user23", c.password});
    EXPECT_EQ(result.status, c.status) << result.output;
    EXPECT_TRUE(Holds(result.output, c.says)) << result.output;
    EXPECT_FALSE(Holds(result.output, "valid-user23")) << result.output;
    EXPECT_FALSE(Holds(result.output, "logged in as user23 (password)"));
  }
  // A command file other users may change is not run.
  WriteBytes(dir / "TOKEN.CMD", "echo valid-user23\n");
  fs::permissions(dir / "TOKEN.CMD", fs::perms::others_write, fs::perm_options::add);
  const SoupResult open =
      RunSoup(dir.path(), {"--check", Imap("IMAP_PORT", ";AUTH=XOAUTH2"), "user23", "x"});
  EXPECT_EQ(open.status, 1);
  EXPECT_TRUE(Holds(open.output, "TOKEN.CMD may be changed by other users (owner ")) << open.output;
  EXPECT_EQ(servers.MailboxSize("user23"), 1u);  // a check touches nothing
}

TEST(OAuth2, ACertificateNotFromTheCaEndsTheSessionBeforeAnyLogin) {
  TempDir dir;
  WriteBytes(dir / "TOKEN.CMD", "echo valid-user24\n");
  const std::string bad = "127.0.0.1:" + Servers::Get()["BAD_TLS_PORT"];
  for (const std::string& server : {"imaps://;AUTH=XOAUTH2@" + bad, "imaps://" + bad}) {
    const SoupResult result = RunSoup(dir.path(), {"--check", server, "user24", "secret"});
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_TRUE(Holds(result.output, "the certificate is not trusted")) << result.output;
    EXPECT_FALSE(Holds(result.output, "mechanisms offered")) << result.output;
  }
}

// The account check for each kind of server: what it says, and that it touches nothing.
TEST(AccountCheck, ShowsTlsMechanismsAndTheLoginForEachServer) {
  const Servers& servers = Servers::Get();
  servers.EmptyMailbox("user28");
  servers.Deliver("user28", "1.a", WithId("waiting"));
  const std::string at = "127.0.0.1:";
  const struct {
    std::string server;
    const char* password;
    int status;
    std::vector<std::string> says;
  } cases[] = {
      {at + servers["POP3_PORT"],
       "secret",
       0,
       {"STLS: TLSv1.3, certificate /CN=localhost (from /CN=Tidewire test CA)",
        "mechanisms offered: PLAIN LOGIN XOAUTH2 OAUTHBEARER", "logged in as user28 (password)",
        "1 message(s) waiting"}},
      {"imaps://" + at + servers["IMAPS_PORT"],
       "secret",
       0,
       {"connected, TLSv1.3, certificate /CN=localhost", "1 message(s) waiting in INBOX"}},
      {"smtp://alice@" + at + servers["SMTP_PORT"],
       "secret",
       0,
       {"STARTTLS: TLSv1.3", "the server takes mail from this account"}},
      {"nntp://" + at + servers["NNTP_PORT"],
       "secret",
       0,
       {"InterNetNews", "the news server answers (no login in its URL, none tried)"}},
      {"imap://" + at + servers["IMAP_PORT"],
       "wrong",
       1,
       {"the IMAP server refused the login of user28: NO [AUTHENTICATIONFAILED]"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.server);
    TempDir dir;
    const SoupResult result = RunSoup(dir.path(), {"--check", c.server, "user28", c.password});
    EXPECT_EQ(result.status, c.status) << result.output;
    for (const std::string& line : c.says) EXPECT_TRUE(Holds(result.output, line));
    EXPECT_FALSE(Holds(result.output, c.password));
    EXPECT_FALSE(fs::exists(dir / "tidewire-soup.lck"));  // beside a running pass, too
  }
  EXPECT_EQ(servers.MailboxSize("user28"), 1u);
}

// The stored mail's side file: how the client logged in and its MAIL FROM parameters.
std::string StoredEnvelopeOf(const std::string& mark) {
  for (const auto& entry : fs::directory_iterator(Servers::Get()["SMTP_DIR"])) {
    if (entry.path().extension() == ".eml" && Holds(ReadBytes(entry.path()), mark)) {
      return ReadBytes(fs::path(entry.path()).replace_extension(".env"));
    }
  }
  return "";
}

TEST(OAuth2, SendsByXoauth2AndOauthbearerWithSmtputf8WhereNeeded) {
  const Servers& servers = Servers::Get();
  const std::string stamp = std::to_string(::getpid());
  const struct {
    std::string server;
    std::string subject;
    const char* envelope;
  } cases[] = {
      {"smtp://;AUTH=XOAUTH2@127.0.0.1:" + servers["SMTP_PORT"],
       "Gr\xc3\xbc\xc3\x9f"
       "e " +
           stamp,
       "login: alice XOAUTH2\nmail-options: BODY=8BITMIME SMTPUTF8\n"},
      {"smtps://alice;AUTH=OAUTHBEARER@127.0.0.1:" + servers["SMTPS_PORT"], "Plain " + stamp,
       "login: alice OAUTHBEARER\nmail-options: \n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.server);
    TempDir dir;
    WriteBytes(dir / "TOKEN.CMD", "echo valid-alice\n");
    WritePacket(
        dir.path(),
        {"From: jane@example.org\nTo: friend@example.com\nSubject: " + c.subject + "\n\nHello.\n"},
        {});
    const SoupResult result = RunSoup(dir.path(), {"-s", c.server, "alice", "not-the-token"});
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(StoredEnvelopeOf(c.subject), c.envelope);
  }
}

// What goes over the wire: one step or two, UTF8 and ENABLE, the token never in a process's
// command line nor in the output.
TEST(OAuth2, SendsTheResponseInOneOrTwoStepsAsTheServerNeeds) {
  const std::string long_token = "valid-" + std::string(2000, 'k');
  const struct {
    bool imap;
    std::string capabilities;
    std::string token;
    bool one_step;
    const char* utf8_command;
  } cases[] = {
      {true, "IMAP4rev1 AUTH=XOAUTH2 SASL-IR ENABLE UTF8=ACCEPT", "valid-short", true,
       "ENABLE UTF8=ACCEPT"},
      {true, "IMAP4rev1 AUTH=XOAUTH2", long_token, false, nullptr},
      {false, "SASL XOAUTH2\r\nUTF8", "valid-short", true, "UTF8"},
      {false, "SASL PLAIN XOAUTH2", long_token, false, nullptr},  // Office 365's way
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.capabilities + " " + std::to_string(c.token.size()));
    std::mutex mutex;
    std::vector<std::string> heard;
    bool token_in_a_cmdline = false;
    std::string tag;
    const auto scan = [&] {
      for (const auto& entry : fs::directory_iterator("/proc")) {
        if (Holds(ReadBytes(entry.path() / "cmdline"), c.token)) token_in_a_cmdline = true;
      }
    };
    ScriptedServer server(c.imap ? "* OK ready\r\n" : "+OK ready\r\n",
                          [&](const std::string& line, const ScriptedServer::Send& send) {
                            std::lock_guard<std::mutex> lock(mutex);
                            heard.push_back(line);
                            const std::string word =
                                c.imap ? line.substr(line.find(' ') + 1) : line;
                            const std::string t = c.imap ? line.substr(0, line.find(' ')) : "";
                            const auto ok = [&](const std::string& untagged = "") {
                              send(untagged + (c.imap ? t + " OK done\r\n" : "+OK\r\n"));
                            };
                            if (word == "CAPABILITY") {
                              ok("* CAPABILITY " + c.capabilities + "\r\n");
                            } else if (word == "CAPA") {
                              send("+OK\r\n" + c.capabilities + "\r\n.\r\n");
                            } else if (word.rfind("AUTHENTICATE XOAUTH2", 0) == 0 ||
                                       word.rfind("AUTH XOAUTH2", 0) == 0) {
                              scan();
                              tag = t;
                              if (word.find(' ', word.find("XOAUTH2")) == std::string::npos) {
                                send("+ \r\n");
                              } else {
                                ok();
                              }
                            } else if (line.find(' ') == std::string::npos && line.size() > 40) {
                              send(c.imap ? tag + " OK done\r\n" : "+OK\r\n");  // the second step
                            } else if (word.rfind("STATUS", 0) == 0) {
                              ok("* STATUS INBOX (MESSAGES 0)\r\n");
                            } else if (word == "STAT") {
                              send("+OK 0 0\r\n");
                            } else if (word == "LOGOUT") {
                              ok("* BYE\r\n");
                            } else {
                              ok();
                            }
                          });
    TempDir dir;
    WriteBytes(dir / "TOKEN.CMD", "echo " + c.token + "\n");
    const SoupResult result = RunSoup(
        dir.path(),
        {"--check", std::string(c.imap ? "imap" : "pop3") + "://;AUTH=XOAUTH2@" + server.At(),
         "user25", "pw"});
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_FALSE(Holds(result.output, c.token));
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_FALSE(token_in_a_cmdline);
    const std::string expected_response =
        "user=user25\x01"
        "auth=Bearer " +
        c.token + "\x01\x01";
    std::size_t auth = 0;
    while (auth < heard.size() && !Holds(heard[auth], "XOAUTH2")) ++auth;
    ASSERT_LT(auth + 1, heard.size());
    const std::string& carrier = c.one_step ? heard[auth] : heard[auth + 1];
    EXPECT_EQ(FromBase64(carrier.substr(carrier.rfind(' ') + 1)), expected_response);
    EXPECT_EQ(c.one_step, heard[auth].find(' ', heard[auth].find("XOAUTH2")) != std::string::npos);
    const bool utf8_sent = std::any_of(heard.begin(), heard.end(), [&](const std::string& line) {
      return c.utf8_command != nullptr && Holds(line, c.utf8_command);
    });
    EXPECT_EQ(utf8_sent, c.utf8_command != nullptr);
  }
}

}  // namespace
}  // namespace tidewire::soup::testing
