#include "cycle/soup_client.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/file_layer.h"
#include "base/station.h"
#include "cycle/cycle_station.h"
#include "platform/child_process.h"
#include "support/scripted_operator.h"

namespace tidewire::cycle {
namespace {

using testing::CycleStation;
using testing::ReadBytes;
using testing::WriteBytes;
using tidewire::testing::ScriptedOperator;

const std::vector<std::string> kWarning = {
    "", " *** WARNING *** WARNING *** WARNING ***", "", "     WATCHDOG deactivated SOUPER95",
    "", " *** WARNING *** WARNING *** WARNING ***", "",
};

// The processes, this one aside, whose current directory is `dir`.
int ProcessesIn(const std::filesystem::path& dir) {
  int count = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    if (std::stoi(name) == ::getpid()) continue;
    std::error_code link_error;
    const auto cwd = std::filesystem::read_symlink(entry.path() / "cwd", link_error);
    if (!link_error && cwd == dir) ++count;
  }
  return count;
}

class SoupClientTest : public ::testing::Test {
 protected:
  SoupClientTest() : station_(op_, place_.WorkDir()) {
    station_.config.SMTPmailserver = "smtp.example";
    station_.config.POP3mailserver = "pop.example";
    station_.config.NewsServer = "news.example";
    station_.config.UserID = "gw";
    station_.config.PassWord = "secret";
  }

  // The argument part of each logged run (what stood behind the program word).
  std::vector<std::string> RunArguments() const {
    std::vector<std::string> args;
    for (const std::string& run : place_.ClientRuns())
      args.push_back(run.substr(0, run.find(" |")));
    return args;
  }

  void Watchdog(int minutes) {
    station_.config.WatchdogEnabled = true;
    station_.config.WatchdogMinutes = minutes;
  }

  bool Contains(const std::string& line) const {
    for (const std::string& s : op_.status_lines) {
      if (s == line) return true;
    }
    return false;
  }

  CycleStation place_;
  ScriptedOperator op_;
  Station station_;
};

struct CommandRow {
  const char* name;
  ClientCommand command;
  bool leave_copy;
  const char* user;
  const char* password;
  const char* expected;
};

class SoupCommandLineTest : public SoupClientTest,
                            public ::testing::WithParamInterface<CommandRow> {};

TEST_P(SoupCommandLineTest, IsJoinedWithoutQuoting) {
  const CommandRow& row = GetParam();
  if (row.leave_copy) WriteBytes(place_.Work("LCOPY"), "");
  station_.config.UserID = row.user;
  station_.config.PassWord = row.password;
  EXPECT_EQ(SoupCommandLine(station_.work_dir, station_.config, row.command), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SoupCommandLineTest,
    ::testing::Values(CommandRow{"Send", ClientCommand::kSend, false, "gw", "secret",
                                 "souper95.exe -s smtp.example gw secret"},
                      CommandRow{"MarkRead", ClientCommand::kMarkRead, false, "gw", "secret",
                                 "souper95.exe -c 0 pop.example gw secret"},
                      CommandRow{"Fetch", ClientCommand::kFetch, false, "gw", "secret",
                                 "souper95.exe -k 500000 pop.example gw secret"},
                      CommandRow{"SendLeavingCopy", ClientCommand::kSend, true, "gw", "secret",
                                 "souper95.exe -r -s smtp.example gw secret"},
                      CommandRow{"MarkReadLeavingCopy", ClientCommand::kMarkRead, true, "gw",
                                 "secret", "souper95.exe -r -c 0 pop.example gw secret"},
                      CommandRow{"FetchLeavingCopy", ClientCommand::kFetch, true, "gw", "secret",
                                 "souper95.exe -r -k 500000 pop.example gw secret"},
                      CommandRow{"EmptyUserLeavesTwoBlanks", ClientCommand::kFetch, false, "",
                                 "secret", "souper95.exe -k 500000 pop.example  secret"},
                      CommandRow{"EmptyPasswordEndsInABlank", ClientCommand::kSend, false, "gw", "",
                                 "souper95.exe -s smtp.example gw "},
                      CommandRow{"BlanksInAValueAreNotProtected", ClientCommand::kSend, false,
                                 "my gw", "pass", "souper95.exe -s smtp.example my gw pass"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SoupClientTest, WithoutRepliesOnlyTheFetchRuns) {
  place_.OnServer(testing::kMailForJane, testing::kNewsArticle);
  const ClientRunsReport report = SoupClientRuns(station_);
  EXPECT_EQ(RunArguments(), std::vector<std::string>{"-k 500000 pop.example gw secret"});
  EXPECT_EQ(report.runs, 1);
  EXPECT_TRUE(report.AllEnded());
  EXPECT_EQ(ReadBytes(place_.Work("0000000.MSG")), testing::kMailForJane);
  EXPECT_EQ(ReadBytes(place_.Work("0000001.MSG")), testing::kNewsArticle);
  // The downloads are backed up under their own names.
  EXPECT_EQ(ReadBytes(place_.Backup("0000000.MSG")), testing::kMailForJane);
  EXPECT_EQ(ReadBytes(place_.Backup("0000001.MSG")), testing::kNewsArticle);
  EXPECT_FALSE(Contains(" Waiting for SOUPER95 to SEND mail..."));
  EXPECT_EQ(op_.status_lines.back(), " Creating BACKUPS of downloaded message-files...");
}

TEST_F(SoupClientTest, SendsMarksReadAndFetchesInThisOrder) {
  WriteBytes(place_.Work("REPLIES"), "MAIL\tmail\tb\n");
  WriteBytes(place_.Work("MAIL.MSG"), std::string("\0\0\0\x05hello", 9));
  WriteBytes(place_.Work("INDEX"), "1.M01\r\n5\r\n");
  WriteBytes(place_.Work("A_READ"), "");
  place_.OnServer(testing::kMailForJane, "");
  const ClientRunsReport report = SoupClientRuns(station_);
  EXPECT_EQ(RunArguments(),
            (std::vector<std::string>{"-s smtp.example gw secret", "-c 0 pop.example gw secret",
                                      "-k 500000 pop.example gw secret"}));
  EXPECT_EQ(report.runs, 3);
  const std::vector<std::string> expected = {
      " Creating backup of: MAIL.MSG", " Creating backup of: NEWS.MSG",
      " Creating backup of: REPLIES", " Creating backup of: INDEX", " Deleting file: INDEX",
      " Waiting for SOUPER95 to SEND mail...",
      // The client's own words reach the list as they come.
      "tidewire-fake-soup: sent MAIL.MSG (9 bytes) to smtp.example as gw",
      "tidewire-fake-soup: marked the waiting mail read", " Waiting for SOUPER95 to GET mail...",
      " Creating BACKUPS of downloaded message-files..."};
  EXPECT_EQ(op_.status_lines, expected);
  // Activity says what the client does while it runs.
  EXPECT_EQ(op_.error1_history,
            (std::vector<std::string>{"SOUPER95 sending", "Starting", "SOUPER95 marking read",
                                      "Starting", "SOUPER95 getting", "Starting"}));
  // The packet was backed up before the send took it; INDEX never survives the step.
  EXPECT_EQ(ReadBytes(place_.Backup("REPLIES")), "MAIL\tmail\tb\n");
  EXPECT_EQ(ReadBytes(place_.Backup("INDEX")), "1.M01\r\n5\r\n");
  EXPECT_EQ(ReadBytes(place_.Sent("MAIL.MSG")), std::string("\0\0\0\x05hello", 9));
  EXPECT_FALSE(EntryExists(place_.Work("REPLIES")));
  EXPECT_FALSE(EntryExists(place_.Work("MAIL.MSG")));
  EXPECT_FALSE(EntryExists(place_.Work("INDEX")));
  // Marked read before the fetch: the waiting mail does not come, and the request is used up.
  EXPECT_FALSE(EntryExists(place_.Work("0000000.MSG")));
  EXPECT_FALSE(EntryExists(place_.Work("A_READ")));
}

TEST_F(SoupClientTest, TheClientSeesNewsServerHomeAndTheWorkingDirectory) {
  (void)SoupClientRuns(station_);
  const std::vector<std::string> runs = place_.ClientRuns();
  ASSERT_EQ(runs.size(), 1u);
  const std::string dir = place_.WorkDir().string();
  EXPECT_NE(runs[0].find("| NNTPSERVER=news.example | HOME=" + dir + " | cwd=" + dir + " |"),
            std::string::npos)
      << runs[0];
}

TEST_F(SoupClientTest, LeaveCopyPutsMinusRIntoEveryRunAndKeepsTheMailOnTheServer) {
  WriteBytes(place_.Work("LCOPY"), "");
  WriteBytes(place_.Work("REPLIES"), "");
  WriteBytes(place_.Work("A_READ"), "");
  (void)SoupClientRuns(station_);
  for (const std::string& args : RunArguments()) EXPECT_EQ(args.rfind("-r ", 0), 0u) << args;
  EXPECT_EQ(RunArguments().size(), 3u);
}

TEST_F(SoupClientTest, SoundBeforeTheRunsOnlyWhenSoundIsOn) {
  (void)SoupClientRuns(station_);
  EXPECT_TRUE(op_.sounds.empty());
  station_.SoundOn = true;
  (void)SoupClientRuns(station_);
  EXPECT_EQ(op_.sounds, std::vector<std::string>{"access.wav"});
}

TEST_F(SoupClientTest, AClientThatCannotStartIsReportedForEachRunAndThePassGoesOn) {
  CycleStation::SetEnv("PATH", (place_.WorkDir() / "nothing-here").string());
  WriteBytes(place_.Work("REPLIES"), "MAIL\tmail\tb\n");
  WriteBytes(place_.Work("A_READ"), "");
  WriteBytes(place_.Work("0000002.MSG"), "left from before");
  for (int i = 0; i < 3; ++i) op_.ExpectOk(BoxKind::kError, "Unable to execute SOUPER95");
  const ClientRunsReport report = SoupClientRuns(station_);
  EXPECT_EQ(report.not_started, 3);
  EXPECT_FALSE(report.AllEnded());
  EXPECT_TRUE(place_.ClientRuns().empty());
  EXPECT_FALSE(EntryExists(place_.Work("A_READ")));    // gone whatever the outcome
  EXPECT_TRUE(FileIsPresent(place_.Work("REPLIES")));  // still unsent
  EXPECT_EQ(ReadBytes(place_.Backup("0000002.MSG")), "left from before");
}

TEST_F(SoupClientTest, AProgramWordWithoutExeIsFoundOnPath) {
  EXPECT_EQ(RunSoupClient(station_, "souper95.exe -k 500000 pop.example gw secret"),
            ClientRun::kEnded);
  EXPECT_EQ(RunArguments(), std::vector<std::string>{"-k 500000 pop.example gw secret"});
}

// Every local user can read a command line (ps), only the same user an environment. The own
// client (whatever name PATH gives it) gets the password in its environment alone; another
// client gets souper's command line.
TEST_F(SoupClientTest, OnlyTheOwnClientGetsThePasswordOutsideItsCommandLine) {
  const fs::path bin = place_.WorkDir() / "bin";
  const fs::path own = place_.WorkDir() / "own" / "tidewire-soup";
  fs::create_directories(own.parent_path());
  WriteBytes(own, "#!/bin/sh\necho \"$* | ${TIDEWIRE_SOUP_PASSWORD-none}\" >>\"$HOME/runs\"\n");
  fs::permissions(own, fs::perms::owner_all);
  station_.config.UserID = "gw";
  station_.config.PassWord = "pw-for-env";
  for (const bool is_own : {true, false}) {
    fs::remove(bin / "souper95");
    fs::copy_file(own, place_.WorkDir() / "own" / "souper95", fs::copy_options::overwrite_existing);
    fs::create_symlink(is_own ? own : place_.WorkDir() / "own" / "souper95", bin / "souper95");
    CycleStation::SetEnv("HOME", place_.WorkDir().string());
    EXPECT_EQ(RunSoupClient(station_, ClientCommand::kFetch), ClientRun::kEnded);
  }
  EXPECT_EQ(ReadBytes(place_.WorkDir() / "runs"),
            "-k 500000 pop.example gw | pw-for-env\n"
            "-k 500000 pop.example gw pw-for-env | none\n");
}

TEST_F(SoupClientTest, TheWatchdogStopsAHangingClientWarnsAndPausesTenSeconds) {
  CycleStation::SetEnv("TIDEWIRE_SOUP_HANG", "fetch");
  Watchdog(0);
  EXPECT_EQ(RunSoupClient(station_, SoupCommandLine(station_.work_dir, station_.config,
                                                    ClientCommand::kFetch)),
            ClientRun::kStoppedByWatchdog);
  EXPECT_EQ(op_.status_lines, kWarning);
  EXPECT_EQ(op_.beeps, (std::vector<std::size_t>{0, 2, 4, 7}));
  EXPECT_EQ(op_.error1_history,
            (std::vector<std::string>{"10", "9", "8", "7", "6", "5", "4", "3", "2", "1"}));
  // The client really is gone, not left running in the background.
  EXPECT_EQ(ProcessesIn(place_.WorkDir()), 0);
}

TEST_F(SoupClientTest, AStoppedRunIsCountedAndTheStepGoesOn) {
  CycleStation::SetEnv("TIDEWIRE_SOUP_HANG", "all");
  Watchdog(0);
  WriteBytes(place_.Work("REPLIES"), "MAIL\tmail\tb\n");
  place_.OnServer(testing::kMailForJane, "");
  const ClientRunsReport report = SoupClientRuns(station_);
  EXPECT_EQ(report.runs, 2);
  EXPECT_EQ(report.stopped_by_watchdog, 2);
  EXPECT_EQ(op_.beeps.size(), 8u);
  // Neither run did its work: the packet waits, the mail stays on the server.
  EXPECT_TRUE(FileIsPresent(place_.Work("REPLIES")));
  EXPECT_TRUE(FileIsPresent(place_.Inbox("0000000.MSG")));
  EXPECT_EQ(op_.status_lines.back(), " Creating BACKUPS of downloaded message-files...");
}

TEST_F(SoupClientTest, AClientThatEndsInTimeGetsNoWarning) {
  Watchdog(1);
  EXPECT_EQ(RunSoupClient(station_, SoupCommandLine(station_.work_dir, station_.config,
                                                    ClientCommand::kFetch)),
            ClientRun::kEnded);
  EXPECT_TRUE(op_.status_lines.empty());
  EXPECT_TRUE(op_.beeps.empty());
  EXPECT_TRUE(op_.error1_history.empty());
}

TEST_F(SoupClientTest, WithoutTheWatchdogTheClientIsWaitedForToItsEnd) {
  EXPECT_EQ(RunSoupClient(station_, SoupCommandLine(station_.work_dir, station_.config,
                                                    ClientCommand::kFetch)),
            ClientRun::kEnded);
  EXPECT_EQ(place_.ClientRuns().size(), 1u);
  EXPECT_TRUE(op_.status_lines.empty());
}

}  // namespace
}  // namespace tidewire::cycle
