// The real LinFBB forwards what packet users sent to the gateway into its export file; a
// gateway pass takes the file over and turns it into the SOUP reply packet and answers.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "interop/interop_station.h"

namespace tidewire::interop {
namespace {

using namespace std::chrono_literals;

// FBB forwards once a minute; the first run may come a minute after the import.
constexpr auto kForwardLimit = 150s;

::testing::AssertionResult Holds(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "missing \"" << part << "\" in:\n" << text;
}

::testing::AssertionResult Lacks(const std::string& text, const std::string& part) {
  if (text.find(part) == std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "unexpected \"" << part << "\" in:\n" << text;
}

// The gateway's own system user, as the package makes it; nothing when the tests cannot make
// one (not root) or it could not reach the programs under test.
std::optional<tidewire::testing::RunAs> GatewayUser() {
  if (::geteuid() != 0) return std::nullopt;
  for (fs::path dir = fs::path(TIDEWIRE_CONSOLE_BINARY).parent_path(); dir != dir.parent_path();
       dir = dir.parent_path()) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0) return std::nullopt;
  }
  constexpr const char* kName = "tidewire-it";
  if (::getpwnam(kName) == nullptr &&
      std::system("useradd --system --user-group --no-create-home --shell /usr/sbin/nologin "
                  "tidewire-it >/dev/null 2>&1") != 0) {
    return std::nullopt;
  }
  const passwd* user = ::getpwnam(kName);
  if (user == nullptr) return std::nullopt;
  return tidewire::testing::RunAs{user->pw_uid, user->pw_gid};
}

FbbInstance::Options GatewayBlock(const std::string& call) {
  FbbInstance::Options options;
  options.gateway_call = call;
  return options;
}

// What packet users typed, as FBB imports it. The routing line makes the bulletin look like
// one of the gateway's own.
std::string PacketUsersWrote(const std::string& call) {
  return "SP " + call +
         " < XX2DEF\r\nMail to Alice\r\n#TO: alice@example.com\r\n"
         "Hello Alice, over the gateway.\r\n/EX\r\n"
         "SP " +
         call +
         " @ XX0BBS < XX3GHI\r\nA posting\r\n#TO: comp.os.linux.misc\r\n"
         "Posted from the packet side.\r\n/EX\r\n"
         "SP SERVER @ XX0BBS < XX2DEF\r\nNEWSLIST\r\nplease\r\n/EX\r\n"
         "SP " +
         call +
         " < XX3GHI\r\nNo address\r\nI forgot the address line.\r\n/EX\r\n"
         "SP JOHN @ " +
         call +
         " < XX2DEF\r\nWrong way\r\nAn address FBB routes to the gateway.\r\n"
         "/EX\r\n"
         "SB TECH @ INET < JohnDo $5-XX0BBS\r\nNews the gateway brought\r\n"
         "R:261208/1200Z @:XX0BBS.#TST.DEU.EU #:5 [Testcity] Tidelink $:5-XX0BBS\r\n\r\n"
         "Not for the Internet.\r\n/EX\r\n"
         "SP XX2DEF < XX3GHI\r\nLocal mail\r\nStays on the BBS.\r\n/EX\r\n";
}

class FbbExportTest : public ::testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_FBB(); }

  // Imports what the users wrote and waits for FBB to export the five gateway messages.
  void ExportFromFbb(FbbInstance& fbb, const std::string& call) {
    ASSERT_TRUE(fbb.PutImportFile(PacketUsersWrote(call)));
    ASSERT_TRUE(fbb.Start()) << fbb.Log();
    ASSERT_TRUE(fbb.WaitForExport(5, kForwardLimit)) << "FBB exported:\n"
                                                     << fbb.ExportBytes() << "\n"
                                                     << fbb.Log();
    const std::string exported = fbb.ExportBytes();
    EXPECT_TRUE(Holds(exported, "SP " + call + " @ " + call +
                                    " < XX2DEF $101_XX0BBS\r\n"
                                    "Mail to Alice\r\nR:"));
    EXPECT_TRUE(Holds(exported, "SP SERVER @ " + call + " < XX2DEF $"));
    EXPECT_TRUE(Lacks(exported, "Not for the Internet."));
    EXPECT_TRUE(Lacks(exported, "Stays on the BBS."));
    int forwarded = 0;
    for (const FbbRecord& r : fbb.Messages()) forwarded += r.status == 'F' ? 1 : 0;
    EXPECT_EQ(forwarded, 5);
  }
};

TEST_F(FbbExportTest, WhatUsersSentToInetBecomesTheReplyPacketAndAnswers) {
  FbbInstance fbb(GatewayBlock("INET"));
  GatewayStation station(fbb.ImportDir());
  station.Flag("ACK");
  ExportFromFbb(fbb, "INET");
  // The pass runs while FBB does: it takes the file over under FBB's own lock.
  ASSERT_TRUE(Completed(station.Pass()));
  EXPECT_EQ(fbb.ExportBytes(), "");
  EXPECT_FALSE(fs::exists(fbb.ExportLock()));
  EXPECT_TRUE(fs::exists(fbb.ExportFile()));
  const std::string mail = ReadBytes(station.Sent("MAIL.MSG"));
  EXPECT_TRUE(Holds(mail, "alice@example.com"));
  EXPECT_TRUE(Holds(mail, "Hello Alice, over the gateway."));
  const std::string news = ReadBytes(station.Sent("NEWS.MSG"));
  EXPECT_TRUE(Holds(news, "Newsgroups:  comp.os.linux.misc\n"));  // the address's own blank
  EXPECT_TRUE(Holds(news, "Posted from the packet side."));
  EXPECT_FALSE(fs::exists(station.Work("REPLIES")));
  const std::string answers = station.BackupMailIn();  // FBB may have taken mail.in already
  EXPECT_TRUE(Holds(answers, "SP XX2DEF @ XX0BBS.#TST.DEU.EU < TDWIRE\r\n*** SERVER MESSAGE ***"));
  EXPECT_TRUE(Holds(answers, "SP XX2DEF @ XX0BBS.#TST.DEU.EU < TDWIRE\r\n*** ACK - MESSAGE ***"));
  EXPECT_TRUE(Holds(answers, "SP XX3GHI @ XX0BBS < TDWIRE\r\n*** DELIVERY ERROR ***"));
  EXPECT_TRUE(Holds(answers, "#TO:   <- This line was not found in the message."));
  EXPECT_TRUE(Holds(answers, "Title of message : Wrong way\r\n"));
  EXPECT_TRUE(Holds(answers, "The message was not send to: INET @ XX0BBS or SERVER @ XX0BBS"));
  EXPECT_EQ(fbb.Stop(), 1);
}

// As on a Debian station: FBB runs as root and makes its export file root's (0644); the gateway
// runs as its own user, who may write FBB's mail folder by an ACL and nothing more.
TEST_F(FbbExportTest, AGatewayUserWhoIsNotRootTakesFbbsRootOwnedExportFile) {
  const std::optional<tidewire::testing::RunAs> user = GatewayUser();
  if (!user) GTEST_SKIP() << "needs root to make the gateway's user";
  FbbInstance fbb(GatewayBlock("INET"));
  GatewayStation station(fbb.ImportDir());
  station.RunAsUser(*user);
  for (fs::path dir = fbb.ImportDir().parent_path();
       dir != fs::temp_directory_path() && dir != dir.parent_path(); dir = dir.parent_path()) {
    fs::permissions(dir, fs::perms::others_exec, fs::perm_options::add);
  }
  const std::string acl =
      "setfacl -m u:" + std::to_string(user->uid) + ":rwx " + fbb.ImportDir().string() + " 2>&1";
  ASSERT_EQ(std::system(acl.c_str()), 0) << acl << " (package acl)";
  ExportFromFbb(fbb, "INET");
  struct stat exported {};
  ASSERT_EQ(::stat(fbb.ExportFile().c_str(), &exported), 0);
  EXPECT_EQ(exported.st_uid, 0u);
  EXPECT_EQ(exported.st_mode & 07777, 0644u);
  const ConsoleResult pass = station.Pass();
  ASSERT_TRUE(Completed(pass));
  EXPECT_TRUE(Lacks(pass.output, "NOT FOUND"));
  EXPECT_EQ(fbb.ExportBytes(), "");
  EXPECT_FALSE(fs::exists(fbb.ExportLock()));
  EXPECT_TRUE(Holds(ReadBytes(station.Sent("MAIL.MSG")), "Hello Alice, over the gateway."));
  EXPECT_TRUE(Holds(ReadBytes(station.Sent("NEWS.MSG")), "Posted from the packet side."));
  // FBB goes on exporting into the file the gateway left.
  EXPECT_EQ(fbb.Stop(), 1);
}

TEST_F(FbbExportTest, AStationOfThePseudoCall1TwireWorksTheSameWay) {
  FbbInstance fbb(GatewayBlock("1TWIRE"));
  GatewayStation station(fbb.ImportDir());
  station.Flag("1twire");
  ExportFromFbb(fbb, "1TWIRE");
  ASSERT_TRUE(Completed(station.Pass()));
  EXPECT_EQ(fbb.ExportBytes(), "");
  EXPECT_TRUE(Holds(ReadBytes(station.Sent("MAIL.MSG")), "alice@example.com"));
  EXPECT_TRUE(Holds(ReadBytes(station.Sent("NEWS.MSG")), "Posted from the packet side."));
  const std::string answers = station.BackupMailIn();  // FBB may have taken mail.in already
  EXPECT_TRUE(Holds(answers, "SP XX3GHI @ XX0BBS < TDWIRE\r\n*** DELIVERY ERROR ***"));
  EXPECT_TRUE(Holds(answers, "The message was not send to: 1TWIRE @ XX0BBS or SERVER @ XX0BBS"));
  EXPECT_EQ(fbb.Stop(), 1);
}

}  // namespace
}  // namespace tidewire::interop
