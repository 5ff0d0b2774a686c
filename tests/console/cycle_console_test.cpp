// Whole passes of tidewire-console in a temporary station, with the project's test SOUP client
// on PATH standing in for the Internet.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "console/console_process.h"
#include "cycle/cycle_station.h"

namespace tidewire {
namespace {

using cycle::testing::CycleStation;
using cycle::testing::kExportedMail;
using cycle::testing::kMailForJane;
using cycle::testing::kNewsArticle;
using tidewire::testing::ConsoleResult;
using tidewire::testing::Holds;
using tidewire::testing::Lacks;
using tidewire::testing::ReadBytes;
using tidewire::testing::RunConsoleWith;
using tidewire::testing::WriteBytes;

constexpr const char* kBlockedBox =
    "[Error box]\n| Process stopped! There exists an unimported MAIL.IN file \n"
    "|                                    OR\n| an unsend EMAIL Packet\n";

class CycleConsoleTest : public ::testing::Test {
 protected:
  // The console's environment: the test client on PATH as souper95, and its server folder.
  std::vector<std::string> Environment(const std::string& hang = "") const {
    std::vector<std::string> env = {
        "PATH=" + (place_.WorkDir() / "bin").string() + ":/usr/bin:/bin",
        "TIDEWIRE_SOUP_SERVER=" + (place_.WorkDir() / "server").string(),
        "TIDEWIRE_SOUP_LOG=" + place_.ClientLog().string()};
    if (!hang.empty()) env.push_back("TIDEWIRE_SOUP_HANG=" + hang);
    return env;
  }

  ConsoleResult Run(const std::string& input, const std::string& hang = "") const {
    return RunConsoleWith(place_.WorkDir(), input, Environment(hang));
  }

  // Drive A: of the console, through its INI file.
  std::filesystem::path Floppy() const {
    const std::filesystem::path disk = place_.WorkDir() / "floppy";
    std::filesystem::create_directories(disk);
    std::filesystem::create_directories(place_.WorkDir() / ".config" / "tidewire");
    WriteBytes(place_.WorkDir() / ".config" / "tidewire" / "tidewire.ini",
               "[Drives]\nA=" + disk.string() + "\n");
    return disk;
  }

  // The real client beside the gateway, with a spool folder as all three servers (lines 10-12).
  void UseSpool() const {
    const std::string config = ReadBytes(place_.Work("TWIRE.CFG"));
    std::string changed;
    std::size_t start = 0;
    for (int line = 1; start < config.size(); ++line) {
      const std::size_t end = config.find("\r\n", start);
      if (end == std::string::npos) break;
      changed +=
          line >= 10 && line <= 12 ? "spool:spool\r\n" : config.substr(start, end + 2 - start);
      start = end + 2;
    }
    WriteBytes(place_.Work("TWIRE.CFG"), changed);
    std::filesystem::remove(place_.Work(".NEWSRC"));  // mail only: the spool has no groups
    std::filesystem::create_directories(place_.Work("spool") / "inbox");
  }

  void Flag(const std::string& name) const { WriteBytes(place_.Work(name), ""); }

  CycleStation place_;
};

TEST_F(CycleConsoleTest, ANormalPassHandsMailInToFbbAndSendsThePacket) {
  place_.ExportFromFbb(kExportedMail);
  place_.OnServer(kMailForJane, kNewsArticle);
  // The found sender's box, the mail question, then Stop and its question.
  const ConsoleResult result = Run("GO\nok\nyes\nStop\nyes\n");
  EXPECT_EQ(result.exit_status, 0) << result.output;
  EXPECT_TRUE(Holds(result.output, "[State] PROCESSING\n"));
  EXPECT_TRUE(Holds(result.output, "tidewire-fake-soup: sent MAIL.MSG"));
  EXPECT_TRUE(Holds(result.output, "- COMPLETED -\n[State]  Ready to GO!\n[Activity]  Idle\n"));
  const std::string mail_in = ReadBytes(place_.Mailin("mail.in"));
  EXPECT_TRUE(Holds(mail_in, "SP XX2DEF @ XX0BBS.#TST.DEU.EU < INET"));
  EXPECT_TRUE(Holds(mail_in, "SB TECH @ INET"));
  EXPECT_TRUE(Holds(ReadBytes(place_.Sent("MAIL.MSG")),
                    "To:  alice@example.com"));  // the address keeps its leading blank
  EXPECT_EQ(ReadBytes(place_.Mailin("fbbemail")), "");
  EXPECT_TRUE(Holds(ReadBytes(place_.Work("TWIRE.LOG")), "Packet -> Internet : 1\r\n"));
  EXPECT_FALSE(std::filesystem::exists(place_.Work("MAIL.IN")));
  EXPECT_FALSE(std::filesystem::exists(place_.Work("REPLIES")));
}

TEST_F(CycleConsoleTest, APassThatWritesNothingLeavesOnlyAnEmptyExportFile) {
  const ConsoleResult result = Run("GO!\nyes\n");
  EXPECT_EQ(result.exit_status, 0) << result.output;
  EXPECT_TRUE(Holds(result.output, " Deleting MAIL.IN-File, Filesize = 0\n"));
  EXPECT_EQ(CycleStation::Names(place_.MailinDir()), std::vector<std::string>{"fbbemail"});
  EXPECT_TRUE(Holds(ReadBytes(place_.Work("TWIRE.LOG")), "Email  -> Packet   : 0\r\n"));
}

TEST_F(CycleConsoleTest, AnUnimportedMailInBlocksThePass) {
  WriteBytes(place_.Mailin("MAIL.IN"), "waiting");
  WriteBytes(place_.Work("0000000.MSG"), kMailForJane);
  const ConsoleResult result = Run("GO\nok\n");
  EXPECT_EQ(result.exit_status, 8) << result.output;
  EXPECT_TRUE(Holds(result.output, kBlockedBox));
  EXPECT_EQ(ReadBytes(place_.Mailin("MAIL.IN")), "waiting");
  EXPECT_TRUE(std::filesystem::exists(place_.Work("0000000.MSG")));
  EXPECT_FALSE(std::filesystem::exists(place_.Work("TWIRE.LOG")));
}

TEST_F(CycleConsoleTest, UnsentRepliesAreSentAndNothingIsConverted) {
  WriteBytes(place_.Work("REPLIES"), "MAIL\tmail\tb\n");
  WriteBytes(place_.Work("MAIL.MSG"), "packet");
  const ConsoleResult result = Run("GO\nyes\n");
  EXPECT_EQ(result.exit_status, 8) << result.output;
  EXPECT_TRUE(Holds(result.output, "| Unsend EMAIL found! Should I send it now?\n"));
  EXPECT_EQ(ReadBytes(place_.Sent("MAIL.MSG")), "packet");
  EXPECT_FALSE(std::filesystem::exists(place_.Work("REPLIES")));
  EXPECT_FALSE(std::filesystem::exists(place_.Work("TWIRE.LOG")));
}

TEST_F(CycleConsoleTest, WithBothLeftoversThePacketWaits) {
  WriteBytes(place_.Mailin("MAIL.IN"), "waiting");
  WriteBytes(place_.Work("REPLIES"), "MAIL\tmail\tb\n");
  const ConsoleResult result = Run("GO\nok\n");
  EXPECT_EQ(result.exit_status, 8) << result.output;
  EXPECT_TRUE(Holds(result.output, kBlockedBox));
  EXPECT_TRUE(Lacks(result.output, "Unsend EMAIL found!"));
  EXPECT_TRUE(std::filesystem::exists(place_.Work("REPLIES")));
  EXPECT_TRUE(place_.ClientRuns().empty());
}

TEST_F(CycleConsoleTest, TheWatchdogStopsAHangingClientAndThePassGoesOn) {
  WriteBytes(place_.Work("WATCH.DOG"), "0\r\n");
  WriteBytes(place_.Work("0000000.MSG"), kMailForJane);  // fetched by an earlier pass
  const ConsoleResult result = Run("GO\nyes\n", "fetch");
  EXPECT_EQ(result.exit_status, 9) << result.output;
  EXPECT_TRUE(Holds(result.output,
                    "\n *** WARNING *** WARNING *** WARNING ***\n\a\n"
                    "     WATCHDOG deactivated SOUPER95\n"));
  EXPECT_TRUE(Holds(result.output, "[Activity] 10\n"));
  EXPECT_TRUE(Holds(result.output, "[Activity] 1\n"));
  EXPECT_TRUE(Holds(result.output, "- COMPLETED -\n"));
  EXPECT_TRUE(Holds(ReadBytes(place_.Mailin("mail.in")), "SP XX2DEF @"));
}

TEST_F(CycleConsoleTest, AnAutoGoStartRunsOnePassAndEnds) {
  Flag("autogo");
  place_.OnServer(kMailForJane, "");
  const ConsoleResult result = Run("");
  EXPECT_EQ(result.exit_status, 0) << result.output;
  EXPECT_TRUE(Holds(result.output,
                    "[State] *** AUTO GO ***\n Countdown started...\n"
                    "[Activity] 4\n[Activity] 3\n[Activity] 2\n[Activity] 1\n"));
  EXPECT_TRUE(Lacks(result.output, "Should I get/send Internet mail now?"));
  EXPECT_TRUE(Lacks(result.output, "Commands:"));
  EXPECT_TRUE(Lacks(result.output, "Are you sure ?"));
  EXPECT_TRUE(Holds(ReadBytes(place_.Mailin("mail.in")), "SP XX2DEF @"));
  EXPECT_TRUE(std::filesystem::exists(place_.Work("autogo")));
}

TEST_F(CycleConsoleTest, AnAutoGoStartWithAnUnimportedMailInCountsDownAndEnds) {
  Flag("autogo");
  WriteBytes(place_.Mailin("MAIL.IN"), "waiting");
  const ConsoleResult result = Run("");
  EXPECT_EQ(result.exit_status, 8) << result.output;
  EXPECT_TRUE(Holds(result.output, "[State] Countdown\n*** Program stopped ****\n"));
  EXPECT_TRUE(Holds(result.output, "[Activity] 1\n"));
  EXPECT_TRUE(Holds(result.output, "- COMPLETED -\n"));
}

TEST_F(CycleConsoleTest, AnAutoGoPassStoppedByAnErrorLeavesTheProgramWaiting) {
  Flag("autogo");
  WriteBytes(place_.Work("TWIREBID.BIN"), "abc");
  const ConsoleResult result = Run("");
  EXPECT_EQ(result.exit_status, 7) << result.output;
  EXPECT_TRUE(Holds(result.output, "[Error box]\n| Invalid numeric input\n"));
  EXPECT_TRUE(
      Holds(result.output, "Commands: GO!, Backup, Restore, LOG, HELD, RELEASE n, DROP n, Stop\n"));
  EXPECT_TRUE(Lacks(result.output, "- COMPLETED -"));
}

TEST_F(CycleConsoleTest, AFirstRunAnsweredYesCreatesTheCounter) {
  std::filesystem::remove(place_.Work("TWIREBID.BIN"));
  place_.OnServer(kMailForJane, "");
  const ConsoleResult result = Run("GO\nyes\nyes\n");
  EXPECT_EQ(result.exit_status, 0) << result.output;
  EXPECT_TRUE(Holds(result.output, "| Cannot find the file TWIREBID.BIN\n| Create?\n"));
  EXPECT_EQ(ReadBytes(place_.Work("TWIREBID.BIN")), "2");
  EXPECT_TRUE(Holds(ReadBytes(place_.Mailin("mail.in")), "$2-XX0BBS\r\n"));
}

TEST_F(CycleConsoleTest, AFirstRunAnsweredNoEndsTheProgram) {
  std::filesystem::remove(place_.Work("TWIREBID.BIN"));
  place_.OnServer(kMailForJane, "");
  const ConsoleResult result = Run("GO\nyes\nno\nn\n");
  EXPECT_EQ(result.exit_status, 4) << result.output;
  EXPECT_TRUE(Holds(result.output, " Program halted\n"));
  EXPECT_FALSE(std::filesystem::exists(place_.Work("TWIREBID.BIN")));
  EXPECT_FALSE(std::filesystem::exists(place_.Mailin("mail.in")));
}

TEST_F(CycleConsoleTest, RestoreAsksBeforeReplacingALocalCounter) {
  const std::filesystem::path disk = Floppy();
  WriteBytes(disk / "twirebid.bin", "4711");
  WriteBytes(disk / "user.dat", "disk users");
  const ConsoleResult result = Run("Restore\nok\ncancel\n");
  EXPECT_EQ(result.exit_status, 0) << result.output;
  EXPECT_TRUE(Holds(result.output, "| Replace current Last-BID with old one?\n"));
  EXPECT_TRUE(Holds(result.output, "Restored file user.dat\n"));
  EXPECT_TRUE(Holds(result.output, "| Please restart the Tidewire software now.\n"));
  EXPECT_EQ(ReadBytes(place_.Work("TWIREBID.BIN")), "100");
  EXPECT_EQ(ReadBytes(place_.Work("USER.DAT")), "disk users");
}

TEST_F(CycleConsoleTest, RestoreWithoutALocalCounterTakesTheDisksWithoutAsking) {
  const std::filesystem::path disk = Floppy();
  WriteBytes(disk / "twirebid.bin", "4711");
  std::filesystem::remove(place_.Work("TWIREBID.BIN"));
  const ConsoleResult result = Run("Restore\nok\n");
  EXPECT_EQ(result.exit_status, 0) << result.output;
  EXPECT_TRUE(Lacks(result.output, "Replace current Last-BID"));
  EXPECT_TRUE(Holds(result.output, "Restored file twirebid.bin\n"));
  EXPECT_EQ(ReadBytes(place_.Work("twirebid.bin")), "4711");
}

TEST_F(CycleConsoleTest, BackupWritesTheFilesToDriveA) {
  const std::filesystem::path disk = Floppy();
  const ConsoleResult result = Run("Backup\nok\n");
  EXPECT_EQ(result.exit_status, 0) << result.output;
  EXPECT_TRUE(Holds(result.output, "Backup of file twire.cfg created.\n"));
  EXPECT_EQ(ReadBytes(disk / "twirebid.bin"), "100");
  EXPECT_EQ(ReadBytes(disk / "user.dat"), ReadBytes(place_.Work("USER.DAT")));
}

TEST_F(CycleConsoleTest, WithoutAClientOnPathTheStandInBesideTheGatewayRuns) {
  UseSpool();
  std::filesystem::create_directories(place_.Work("spool") / "inbox");
  WriteBytes(place_.Work("spool") / "inbox" / "1.eml",
             "From: Alice Example <alice@example.com>\nTo: Jane Doe <jane@example.org>\n"
             "Subject: Hello Jane\n\nHello from the Internet.\n");
  const ConsoleResult result = RunConsoleWith(place_.WorkDir(), "GO\nyes\n", {"PATH=/nonexistent"});
  EXPECT_EQ(result.exit_status, 0) << result.output;
  EXPECT_TRUE(Holds(result.output, "tidewire-soup: fetched 1 mail(s) from spool:spool"));
  EXPECT_TRUE(Holds(ReadBytes(place_.Mailin("mail.in")), "SP XX2DEF @"));
  EXPECT_TRUE(std::filesystem::is_empty(place_.Work("spool") / "inbox"));
}

// Keeping the air clean at the console: strangers' mail to the gateway is held, HELD lists it,
// RELEASE lets the next pass put it on the air, DROP keeps it off for good (HELD/DROPPED).
TEST_F(CycleConsoleTest, HeldMailIsListedReleasedAndDroppedAtTheConsole) {
  UseSpool();
  WriteBytes(place_.Work("ACCEPT.LST"), "friend@good.example\r\n");
  for (const char* n : {"1", "2"}) {
    WriteBytes(place_.Work("spool") / "inbox" / (std::string(n) + ".eml"),
               "From: Stranger <stranger" + std::string(n) +
                   "@bad.example>\nTo: gate@example.net\nSubject: Offer " + n + "\n\nBuy.\n");
  }
  const std::vector<std::string> env = {"PATH=/nonexistent"};
  ConsoleResult result =
      RunConsoleWith(place_.WorkDir(), "GO\nyes\nHELD\nRELEASE 1\nDROP 2\nRELEASE 7\n", env);
  EXPECT_TRUE(Holds(result.output, " Held off the air:\n 1  stranger1@bad.example  \"Offer 1\"  "));
  EXPECT_TRUE(Holds(result.output, "sender not on ACCEPT.LST\n 2  stranger2@bad.example"));
  EXPECT_TRUE(Holds(result.output, " Released 1: the next pass puts it on the air\n"));
  EXPECT_TRUE(Holds(result.output, " Dropped 2: kept in HELD/DROPPED\n"));
  EXPECT_TRUE(Holds(result.output, " No held e-mail 7 (HELD lists them)\n"));
  EXPECT_FALSE(Holds(ReadBytes(place_.Mailin("mail.in")), "Offer"));

  std::filesystem::remove(place_.Mailin("mail.in"));  // FBB took it
  result = RunConsoleWith(place_.WorkDir(), "GO\nyes\nHELD\n", env);
  EXPECT_TRUE(Holds(ReadBytes(place_.Mailin("mail.in")), "Offer 1"));
  EXPECT_FALSE(Holds(ReadBytes(place_.Mailin("mail.in")), "Offer 2"));
  EXPECT_TRUE(Holds(result.output, " Nothing is held.\n"));
  EXPECT_TRUE(std::filesystem::exists(place_.Work("HELD") / "DROPPED" / "2.MSG"));
}

}  // namespace
}  // namespace tidewire
