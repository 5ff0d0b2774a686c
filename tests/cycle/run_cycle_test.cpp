#include "cycle/run_cycle.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/file_layer.h"
#include "base/station.h"
#include "cycle/cycle_station.h"
#include "cycle/start_up.h"
#include "support/holds.h"
#include "support/scripted_operator.h"

namespace tidewire::cycle {
namespace {

using testing::CycleStation;
using testing::kExportedMail;
using testing::kMailForJane;
using testing::kNewsArticle;
using testing::ReadBytes;
using testing::WriteBytes;
using tidewire::testing::Holds;
using tidewire::testing::ScriptedOperator;
namespace fs = std::filesystem;

constexpr const char* kBlockedBox =
    "Process stopped! There exists an unimported MAIL.IN file \r"
    "                                   OR\ran unsend EMAIL Packet";
constexpr const char* kMailQuestion = "Should I get/send Internet mail now?";
constexpr const char* kRepliesQuestion = "Unsend EMAIL found! Should I send it now?";
constexpr const char* kUndeliveredQuestion =
    "MAIL.IN of an earlier pass was not handed to FBB!\rShould I hand it over now?";

// Whether `wanted` appear in `lines` in this order (others may stand between them).
::testing::AssertionResult InOrder(const std::vector<std::string>& lines,
                                   const std::vector<std::string>& wanted) {
  std::size_t next = 0;
  for (const std::string& line : lines) {
    if (next < wanted.size() && line == wanted[next]) ++next;
  }
  if (next == wanted.size()) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure() << "missing \"" << wanted[next] << "\" in:\n";
  for (const std::string& line : lines) failure << "  [" << line << "]\n";
  return failure;
}

class RunCycleTest : public ::testing::Test {
 protected:
  RunCycleTest() : station_(op_, place_.WorkDir()) {}

  // The program start: flags, users and settings, as the main window reads them.
  void Start() {
    StartUp(station_);
    op_.status_lines.clear();
    op_.error1_history.clear();
  }

  void Flag(const std::string& name) const { WriteBytes(place_.Work(name), ""); }
  void Answer(const char* question, tidewire::Answer answer) {
    op_.ExpectBox(BoxKind::kConfirmation, Buttons::kYesNo, question, answer);
  }

  std::vector<std::string> Countdown(std::size_t n) const {
    return {op_.error1_history.begin(),
            op_.error1_history.begin() +
                static_cast<std::ptrdiff_t>(std::min(n, op_.error1_history.size()))};
  }

  CycleStation place_;
  ScriptedOperator op_;
  Station station_;
};

TEST_F(RunCycleTest, ANormalPassCarriesMailBothWaysAndHandsMailInToFbb) {
  place_.ExportFromFbb(kExportedMail);
  place_.OnServer(kMailForJane, kNewsArticle);
  op_.ExpectOk(BoxKind::kInformation,
               "Found message from:\rUser: >XX2DEF<\rDatabase:XX2DEF\rHomeBBS:XX0BBS.#TST.DEU.EU"
               "\rTo-User:INET @ INET\rEmail  :jane@example.org\rSubject:Greetings from the "
               "packet side");
  Answer(kMailQuestion, tidewire::Answer::kYes);
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kCompleted);

  EXPECT_EQ(CycleStation::Names(place_.MailinDir()),
            (std::vector<std::string>{"fbbemail", "mail.in"}));
  const std::string mail_in = ReadBytes(place_.Mailin("mail.in"));
  EXPECT_TRUE(Holds(mail_in, "SP XX2DEF @ XX0BBS.#TST.DEU.EU < INET $101-XX0BBS\r\n"));
  EXPECT_TRUE(Holds(mail_in, "SB TECH @ INET"));
  EXPECT_EQ(ReadBytes(place_.Backup("MAIL.IN")), mail_in);
  EXPECT_FALSE(EntryExists(place_.Work("MAIL.IN")));
  EXPECT_EQ(ReadBytes(place_.Mailin("fbbemail")), "");
  // The reply packet built from the export file went out in the same pass.
  EXPECT_TRUE(Holds(ReadBytes(place_.Sent("MAIL.MSG")), "alice@example.com"));
  EXPECT_FALSE(EntryExists(place_.Work("REPLIES")));
  EXPECT_EQ(ReadBytes(place_.Backup("TWIRE.LOG")), ReadBytes(place_.Work("TWIRE.LOG")));
  EXPECT_TRUE(Holds(ReadBytes(place_.Work("TWIRE.LOG")), "Packet -> Internet : 1\r\n"));
  EXPECT_GT(std::stoi(ReadBytes(place_.Work("TWIREBID.BIN"))), 101);
  EXPECT_TRUE(InOrder(
      op_.status_lines,
      {" Reading file: TWIRE.CFG", " Waiting for SOUPER95 to SEND mail...",
       " Waiting for SOUPER95 to GET mail...", " Saving BID to TWIREBID.BIN", " Updating LOG-file",
       " Creating backup LOG-file", " Creating backup of MAIL.IN-file...", "- COMPLETED -"}));
  EXPECT_EQ(op_.status_lines.back(), "- COMPLETED -");
  EXPECT_EQ(op_.status1, " Ready to GO!");
  EXPECT_EQ(op_.error1, " Idle");
  EXPECT_TRUE(Holds(op_.error1_history, "Starting"));
  EXPECT_FALSE(station_.panel.close_agreed);
}

// A USER.DAT that cannot be read at start must not turn into an empty table: the passes stop
// until it can be read, and then carry the mail as usual.
TEST_F(RunCycleTest, AnUnreadableUserTableStopsThePassesUntilItCanBeRead) {
  const fs::path users = place_.Work("USER.DAT");
  const std::string kept = ReadBytes(users);
  fs::remove(users);
  fs::create_directory(users);
  place_.ExportFromFbb(kExportedMail);
  place_.OnServer(kMailForJane, "");
  EXPECT_THROW(StartUp(station_), IoError);
  EXPECT_TRUE(station_.UsersUnread);
  op_.ExpectOk(BoxKind::kError, "File access denied\r" + users.string());
  EXPECT_EQ(RunCycle(station_), PassEnd::kStoppedOnError);
  EXPECT_EQ(ReadBytes(place_.Mailin("fbbemail")), kExportedMail);
  EXPECT_FALSE(EntryExists(place_.Work("MAIL.IN")));
  op_.VerifyAllShown();

  fs::remove(users);
  WriteBytes(users, kept);
  station_.AutoGoMode = station_.panel.auto_go = true;
  EXPECT_EQ(RunCycle(station_), PassEnd::kCompleted);
  EXPECT_FALSE(station_.UsersUnread);
  EXPECT_TRUE(Holds(ReadBytes(place_.Mailin("mail.in")), "SP XX2DEF @ XX0BBS.#TST.DEU.EU < INET"));
  EXPECT_TRUE(Holds(ReadBytes(place_.Sent("MAIL.MSG")), "alice@example.com"));
}

TEST_F(RunCycleTest, AnsweringNoFetchesNothingButConvertsWhatAnEarlierPassFetched) {
  WriteBytes(place_.Work("0000000.MSG"), kMailForJane);
  place_.OnServer("", kNewsArticle);
  Answer(kMailQuestion, tidewire::Answer::kNo);
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kCompleted);
  EXPECT_TRUE(place_.ClientRuns().empty());
  EXPECT_TRUE(Holds(ReadBytes(place_.Mailin("mail.in")), "SP XX2DEF @"));
  EXPECT_FALSE(Holds(ReadBytes(place_.Mailin("mail.in")), "SB TECH"));
  EXPECT_FALSE(EntryExists(place_.Work("0000000.MSG")));
  EXPECT_TRUE(FileIsPresent(place_.Inbox("0000001.MSG")));
}

TEST_F(RunCycleTest, APassThatWritesNothingDeletesTheEmptyMailInAndStillLogs) {
  Answer(kMailQuestion, tidewire::Answer::kYes);
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kCompleted);
  EXPECT_TRUE(Holds(op_.status_lines, " Deleting MAIL.IN-File, Filesize = 0"));
  EXPECT_FALSE(Holds(op_.status_lines, " Creating backup of MAIL.IN-file..."));
  EXPECT_FALSE(EntryExists(place_.Work("MAIL.IN")));
  EXPECT_FALSE(EntryExists(place_.Backup("MAIL.IN")));
  // The export file the pass emptied is made again, lower-case as LinFBB names it.
  EXPECT_EQ(CycleStation::Names(place_.MailinDir()), std::vector<std::string>{"fbbemail"});
  EXPECT_TRUE(Holds(ReadBytes(place_.Work("TWIRE.LOG")), "Inet   -> Packet   : 0\r\n"));
  EXPECT_EQ(ReadBytes(place_.Work("TWIREBID.BIN")), "100");
}

TEST_F(RunCycleTest, AnUnimportedMailInBlocksThePassWithABox) {
  WriteBytes(place_.Mailin("MAIL.IN"), "waiting for FBB");
  std::filesystem::remove(place_.Mailin("fbbemail"));
  WriteBytes(place_.Work("0000000.MSG"), kMailForJane);
  op_.ExpectOk(BoxKind::kError, kBlockedBox);
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kBlocked);
  EXPECT_EQ(ReadBytes(place_.Mailin("MAIL.IN")), "waiting for FBB");
  EXPECT_EQ(CycleStation::Names(place_.MailinDir()),
            (std::vector<std::string>{"MAIL.IN", "fbbemail"}));
  // Nothing converted, counted, fetched or logged.
  EXPECT_TRUE(FileIsPresent(place_.Work("0000000.MSG")));
  EXPECT_FALSE(EntryExists(place_.Work("TWIRE.LOG")));
  EXPECT_EQ(ReadBytes(place_.Work("TWIREBID.BIN")), "100");
  EXPECT_TRUE(place_.ClientRuns().empty());
  EXPECT_TRUE(InOrder(op_.status_lines, {" Creating clean/empty FBBEMAIL file", "- COMPLETED -"}));
  EXPECT_EQ(op_.status1, " Ready to GO!");
}

// AT2 without its message type: FBB would pass over every message sent there. Nothing is fetched
// or converted; the mail waits.
TEST_F(RunCycleTest, SettingsFbbWouldDropStopThePassBeforeAnythingIsFetched) {
  std::string config = ReadBytes(place_.Work("TWIRE.CFG"));
  config.replace(config.find("SB EMAIL @ WW"), 13, "EMAIL @ WW");
  WriteBytes(place_.Work("TWIRE.CFG"), config);
  place_.OnServer(testing::kMailForJane, "");
  op_.ExpectOk(BoxKind::kError,
               "No SB/SP found in NON personal EMAIL-to field\r(General Settings)");
  op_.ExpectOk(BoxKind::kError,
               "The pass is stopped: FBB would drop the messages these settings address.\r"
               "WARNING: EMAIL to (AT2) \"EMAIL @ WW\" does not begin with SP or SB: FBB drops "
               "every message sent to it");
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kStoppedOnError);
  EXPECT_TRUE(place_.ClientRuns().empty());
  EXPECT_TRUE(FileIsPresent(place_.Inbox("0000000.MSG")));
}

// A mail.in another program put there (root's, read-only to the gateway) is FBB's as well.
TEST_F(RunCycleTest, AMailInTheGatewayCannotWriteBlocksThePassToo) {
  WriteBytes(place_.Mailin("mail.in"), "put there by another program");
  fs::permissions(place_.Mailin("mail.in"), fs::perms::owner_read | fs::perms::others_read);
  WriteBytes(place_.Work("0000000.MSG"), kMailForJane);
  op_.ExpectOk(BoxKind::kError, kBlockedBox);
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kBlocked);
  EXPECT_TRUE(FileIsPresent(place_.Work("0000000.MSG")));
  EXPECT_TRUE(place_.ClientRuns().empty());
  EXPECT_EQ(ReadBytes(place_.Mailin("mail.in")), "put there by another program");
}

TEST_F(RunCycleTest, AnExportFileOfAnotherLetterCaseIsLeftAsItIs) {
  WriteBytes(place_.Mailin("MAIL.IN"), "waiting for FBB");
  std::filesystem::remove(place_.Mailin("fbbemail"));
  WriteBytes(place_.Mailin("FBBEMAIL"), "FBB is writing");
  op_.ExpectOk(BoxKind::kError, kBlockedBox);
  Start();
  (void)RunCycle(station_);
  EXPECT_EQ(CycleStation::Names(place_.MailinDir()),
            (std::vector<std::string>{"FBBEMAIL", "MAIL.IN"}));
  EXPECT_EQ(ReadBytes(place_.Mailin("FBBEMAIL")), "FBB is writing");
}

TEST_F(RunCycleTest, InAutoGoAnUnimportedMailInCountsDownAndEndsTheProgram) {
  Flag("autogo");
  WriteBytes(place_.Mailin("MAIL.IN"), "waiting for FBB");
  std::string status_during_countdown;
  op_.AtTick(1, [&] { status_during_countdown = op_.status1; });
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kBlocked);
  EXPECT_EQ(status_during_countdown, "Countdown");
  EXPECT_TRUE(InOrder(op_.status_lines,
                      {"*** Program stopped ****", "*** There exists an unimported MAIL.IN file.",
                       "", "- COMPLETED -"}));
  EXPECT_EQ(Countdown(5), (std::vector<std::string>{"4", "3", "2", "1", " Idle"}));
  EXPECT_EQ(op_.status1, "*** AUTO GO ***");
  EXPECT_TRUE(station_.panel.close_agreed);
  EXPECT_TRUE(FileIsPresent(place_.Work("autogo")));  // saved by the Stop press
}

// The client of a killed gateway still works in the station: no second client beside it, and
// nothing converted from its half-written files.
TEST_F(RunCycleTest, AClientStillRunningFromAKilledPassBlocksThePass) {
  Flag("autogo");
  place_.OnServer(kMailForJane, "");
  WriteBytes(place_.Work("0000000.MSG"), "half fetched");
  const int fd = ::open(place_.Work("tidewire-soup.lck").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kBlocked);
  ::close(fd);
  EXPECT_TRUE(place_.ClientRuns().empty());
  EXPECT_EQ(ReadBytes(place_.Work("0000000.MSG")), "half fetched");
  EXPECT_TRUE(InOrder(op_.status_lines, {"A SOUP client of an earlier pass still runs in this "
                                         "station; the pass waits for it.",
                                         "- COMPLETED -"}));
}

// A pass killed between packing and putting the packet in place: the whole new packet (the old
// messages in front) goes, once, not the old one first and the new one later.
TEST_F(RunCycleTest, APackingLeftWholeIsPutInPlaceBeforeTheLeftoverTest) {
  Flag("autogo");
  WriteBytes(place_.Work("REPLIES"), "MAIL\tmail\tb\n");
  WriteBytes(place_.Work("MAIL.MSG"), "old");
  WriteBytes(place_.Work("MAIL.MSG.tmp"), "old+new");
  WriteBytes(place_.Work("INDEX.PKD"), "");
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kBlocked);
  EXPECT_EQ(ReadBytes(place_.Sent("MAIL.MSG")), "old+new");
  EXPECT_FALSE(EntryExists(place_.Work("INDEX.PKD")));
  EXPECT_FALSE(EntryExists(place_.Work("MAIL.MSG.tmp")));
}

TEST_F(RunCycleTest, UnsentRepliesAreSentOnYesAndNothingIsConverted) {
  WriteBytes(place_.Work("REPLIES"), "MAIL\tmail\tb\n");
  WriteBytes(place_.Work("MAIL.MSG"), "packet");
  place_.OnServer(kMailForJane, "");
  Answer(kRepliesQuestion, tidewire::Answer::kYes);
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kBlocked);
  EXPECT_EQ(ReadBytes(place_.Sent("MAIL.MSG")), "packet");
  EXPECT_FALSE(EntryExists(place_.Work("REPLIES")));
  // The fetch ran, but its files wait for the next pass.
  EXPECT_EQ(ReadBytes(place_.Work("0000000.MSG")), kMailForJane);
  EXPECT_FALSE(EntryExists(place_.Mailin("mail.in")));
  EXPECT_FALSE(EntryExists(place_.Work("TWIRE.LOG")));
  // HEALTH says the mail went out, though the pass was a blocked one.
  EXPECT_FALSE(Holds(ReadBytes(place_.Work("HEALTH")), "last send: 0 never"));
}

TEST_F(RunCycleTest, UnsentRepliesStayOnNo) {
  WriteBytes(place_.Work("REPLIES"), "MAIL\tmail\tb\n");
  Answer(kRepliesQuestion, tidewire::Answer::kNo);
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kBlocked);
  EXPECT_TRUE(place_.ClientRuns().empty());
  EXPECT_TRUE(FileIsPresent(place_.Work("REPLIES")));
  EXPECT_EQ(op_.status_lines.back(), "- COMPLETED -");
}

TEST_F(RunCycleTest, InAutoGoUnsentRepliesAreSentWithoutAsking) {
  Flag("autogo");
  WriteBytes(place_.Work("REPLIES"), "MAIL\tmail\tb\n");
  WriteBytes(place_.Work("MAIL.MSG"), "packet");
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kBlocked);
  EXPECT_TRUE(Holds(op_.status_lines, "*** UNSEND EMAIL FOUND, SENDING NOW... ***"));
  EXPECT_EQ(ReadBytes(place_.Sent("MAIL.MSG")), "packet");
  EXPECT_TRUE(station_.panel.close_agreed);
}

TEST_F(RunCycleTest, WithBothLeftoversOnlyTheMailInIsHandled) {
  WriteBytes(place_.Mailin("MAIL.IN"), "waiting for FBB");
  WriteBytes(place_.Work("REPLIES"), "MAIL\tmail\tb\n");
  op_.ExpectOk(BoxKind::kError, kBlockedBox);
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kBlocked);
  EXPECT_TRUE(place_.ClientRuns().empty());
  EXPECT_TRUE(FileIsPresent(place_.Work("REPLIES")));
}

TEST_F(RunCycleTest, AnAutoGoPassCountsDownRunsWithoutQuestionsAndEndsTheProgram) {
  Flag("autogo");
  Flag("sound");
  place_.OnServer(kMailForJane, "");
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kCompleted);
  EXPECT_EQ(Countdown(4), (std::vector<std::string>{"4", "3", "2", "1"}));
  EXPECT_TRUE(Holds(op_.status_lines, " Countdown started..."));
  EXPECT_EQ(op_.sounds, (std::vector<std::string>{"access.wav", "convrt.wav", "stndby.wav"}));
  EXPECT_TRUE(Holds(ReadBytes(place_.Mailin("mail.in")), "SP XX2DEF @"));
  EXPECT_TRUE(station_.panel.close_agreed);
  EXPECT_TRUE(FileIsPresent(place_.Work("autogo")));
  EXPECT_TRUE(FileIsPresent(place_.Work("sound")));
}

TEST_F(RunCycleTest, LeavingAutoGoDuringTheCountdownMakesTheRestAManualPass) {
  Flag("autogo");
  op_.AtTick(2, [&] { AutoGoCheckClick(station_); });
  Answer(kMailQuestion, tidewire::Answer::kNo);
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kCompleted);
  EXPECT_EQ(Countdown(3), (std::vector<std::string>{"4", "3", "Starting"}));
  EXPECT_FALSE(station_.panel.close_agreed);
  EXPECT_FALSE(EntryExists(place_.Work("autogo")));
  EXPECT_EQ(op_.status1, " Ready to GO!");
}

TEST_F(RunCycleTest, TheStopAutoGoButtonDuringTheCountdownClosesAfterThePass) {
  Flag("autogo");
  op_.AtTick(1, [&] { BitBtn1Click(station_); });
  op_.ExpectBox(BoxKind::kConfirmation, Buttons::kYesNo, "Are you sure ?", tidewire::Answer::kYes);
  Answer(kMailQuestion, tidewire::Answer::kNo);
  Start();
  EXPECT_TRUE(station_.panel.stop_auto_go_enabled);
  EXPECT_EQ(RunCycle(station_), PassEnd::kCompleted);
  EXPECT_TRUE(station_.panel.close_agreed);
  EXPECT_FALSE(station_.panel.stop_auto_go_enabled);
  EXPECT_FALSE(station_.AutoGoMode);
  EXPECT_TRUE(station_.panel.auto_go);  // the box is left as it is
  EXPECT_FALSE(EntryExists(place_.Work("autogo")));
}

TEST_F(RunCycleTest, AnUntickedSoundBoxDeletesTheFlagAndPlaysNothing) {
  Flag("sound");
  Answer(kMailQuestion, tidewire::Answer::kYes);
  Start();
  station_.panel.sound = false;
  (void)RunCycle(station_);
  EXPECT_FALSE(EntryExists(place_.Work("sound")));
  EXPECT_FALSE(station_.SoundOn);
  EXPECT_TRUE(op_.sounds.empty());
}

TEST_F(RunCycleTest, AFailedHandOverKeepsMailInAndTheNextPassHandsItOver) {
  place_.OnServer(kMailForJane, "");
  std::filesystem::create_directory(place_.Mailin("tidewire.tmp"));  // the copy cannot be made
  Answer(kMailQuestion, tidewire::Answer::kYes);
  op_.ExpectOk(BoxKind::kError,
               "MAIL.IN could not be handed to FBB: File access denied\r" +
                   place_.Mailin("tidewire.tmp").string() +
                   "\rIt stays in the working directory; the next pass hands it over.");
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kStoppedOnError);
  const std::string kept = ReadBytes(place_.Work("MAIL.IN"));
  EXPECT_TRUE(Holds(kept, "SP XX2DEF @"));
  EXPECT_FALSE(EntryExists(place_.Mailin("mail.in")));
  EXPECT_FALSE(Holds(op_.status_lines, "- COMPLETED -"));
  op_.VerifyAllShown();

  // The next pass sees the undelivered file, hands it over and converts nothing new.
  std::filesystem::remove(place_.Mailin("tidewire.tmp"));
  place_.OnServer(kMailForJane, "");
  Answer(kUndeliveredQuestion, tidewire::Answer::kYes);
  EXPECT_EQ(RunCycle(station_), PassEnd::kBlocked);
  EXPECT_EQ(ReadBytes(place_.Mailin("mail.in")), kept);
  EXPECT_FALSE(EntryExists(place_.Work("MAIL.IN")));
  EXPECT_TRUE(FileIsPresent(place_.Inbox("0000000.MSG")));  // not fetched
  EXPECT_EQ(CycleStation::Names(place_.MailinDir()),
            (std::vector<std::string>{"fbbemail", "mail.in"}));
}

TEST_F(RunCycleTest, InAutoGoAnUndeliveredMailInIsHandedOverWithoutAsking) {
  Flag("autogo");
  WriteBytes(place_.Work("MAIL.IN"), "SP X\r\nt\r\n/EX\r\n");
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kBlocked);
  EXPECT_TRUE(
      Holds(op_.status_lines, "*** UNDELIVERED MAIL.IN FOUND, HANDING IT TO FBB NOW... ***"));
  EXPECT_EQ(ReadBytes(place_.Mailin("mail.in")), "SP X\r\nt\r\n/EX\r\n");
  EXPECT_TRUE(station_.panel.close_agreed);
}

TEST_F(RunCycleTest, AnEmptyWorkingMailInIsNoLeftover) {
  WriteBytes(place_.Work("MAIL.IN"), "");
  Answer(kMailQuestion, tidewire::Answer::kNo);
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kCompleted);
  EXPECT_FALSE(EntryExists(place_.Work("MAIL.IN")));
}

TEST_F(RunCycleTest, TheHandOverReplacesAStaleTemporaryFileAndLeavesNoneBehind) {
  WriteBytes(place_.Work("MAIL.IN"), "complete file");
  WriteBytes(place_.Mailin("tidewire.tmp"), "stale half of an earlier try, longer than the file");
  station_.config.MailinDIR = place_.MailinDir().string();
  HandOverMailIn(station_);
  EXPECT_EQ(ReadBytes(place_.Mailin("mail.in")), "complete file");
  EXPECT_FALSE(EntryExists(place_.Mailin("tidewire.tmp")));
  EXPECT_FALSE(EntryExists(place_.Work("MAIL.IN")));
}

// Anyone who may write FBB's folder could plant a link under the temporary name; the copy goes
// into a file of its own, never through the link.
TEST_F(RunCycleTest, TheHandOverNeverWritesThroughALinkPlantedAsItsTemporaryFile) {
  WriteBytes(place_.Work("MAIL.IN"), "complete file");
  WriteBytes(place_.Work("victim"), "kept");
  fs::create_symlink(place_.Work("victim"), place_.Mailin("tidewire.tmp"));
  station_.config.MailinDIR = place_.MailinDir().string();
  HandOverMailIn(station_);
  EXPECT_EQ(ReadBytes(place_.Mailin("mail.in")), "complete file");
  EXPECT_FALSE(fs::is_symlink(place_.Mailin("mail.in")));
  EXPECT_EQ(ReadBytes(place_.Work("victim")), "kept");
}

TEST_F(RunCycleTest, TheHandOverNeverReplacesAMailInFbbHasNotTaken) {
  WriteBytes(place_.Work("MAIL.IN"), "new");
  WriteBytes(place_.Mailin("MAIL.IN"), "not yet imported");
  station_.config.MailinDIR = place_.MailinDir().string();
  EXPECT_THROW(HandOverMailIn(station_), IoError);
  EXPECT_EQ(ReadBytes(place_.Mailin("MAIL.IN")), "not yet imported");
  EXPECT_EQ(ReadBytes(place_.Work("MAIL.IN")), "new");
}

TEST_F(RunCycleTest, AFirstRunAnsweredYesStartsTheCounterAtOne) {
  std::filesystem::remove(place_.Work("TWIREBID.BIN"));
  place_.OnServer(kMailForJane, "");
  Answer(kMailQuestion, tidewire::Answer::kYes);
  Answer("Cannot find the file TWIREBID.BIN\rCreate?", tidewire::Answer::kYes);
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kCompleted);
  EXPECT_TRUE(Holds(ReadBytes(place_.Mailin("mail.in")), "$2-XX0BBS\r\n"));
  EXPECT_EQ(ReadBytes(place_.Work("TWIREBID.BIN")), "2");
}

TEST_F(RunCycleTest, AFirstRunAnsweredNoEndsTheProgramBeforeAnythingIsConverted) {
  std::filesystem::remove(place_.Work("TWIREBID.BIN"));
  place_.OnServer(kMailForJane, "");
  Answer(kMailQuestion, tidewire::Answer::kYes);
  Answer("Cannot find the file TWIREBID.BIN\rCreate?", tidewire::Answer::kNo);
  op_.ThenType("n");
  Start();
  try {
    (void)RunCycle(station_);
    ADD_FAILURE() << "the program did not end";
  } catch (const EndProgram& end) {
    EXPECT_EQ(end.reason, EndProgram::Reason::kBidCounterRefused);
  }
  EXPECT_FALSE(EntryExists(place_.Work("TWIREBID.BIN")));
  EXPECT_TRUE(FileIsPresent(place_.Work("0000000.MSG")));
  EXPECT_FALSE(EntryExists(place_.Mailin("mail.in")));
  EXPECT_EQ(op_.status_lines.back(), " Program halted");
}

TEST_F(RunCycleTest, AnErrorStopsThePassAndInAutoGoTheProgramStaysOpen) {
  Flag("autogo");
  WriteBytes(place_.Work("TWIREBID.BIN"), "abc");
  op_.ExpectOk(BoxKind::kError, "Invalid numeric input\r" + place_.Work("TWIREBID.BIN").string());
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kStoppedOnError);
  EXPECT_FALSE(station_.panel.close_agreed);
  EXPECT_FALSE(Holds(op_.status_lines, "- COMPLETED -"));
  EXPECT_EQ(ReadBytes(place_.Work("TWIREBID.BIN")), "abc");
}

TEST_F(RunCycleTest, AHangingClientIsStoppedAndThePassCompletesWithClientTrouble) {
  CycleStation::SetEnv("TIDEWIRE_SOUP_HANG", "fetch");
  WriteBytes(place_.Work("WATCH.DOG"), "0\r\n");
  Answer(kMailQuestion, tidewire::Answer::kYes);
  Start();
  EXPECT_EQ(RunCycle(station_), PassEnd::kClientTrouble);
  EXPECT_TRUE(InOrder(op_.status_lines, {"     WATCHDOG deactivated SOUPER95", "- COMPLETED -"}));
  EXPECT_EQ(op_.beeps.size(), 4u);
}

}  // namespace
}  // namespace tidewire::cycle
