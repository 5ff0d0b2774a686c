#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "console/console_process.h"
#include "platform/single_instance.h"
#include "support/temp_dir.h"

namespace tidewire {
namespace {

using tidewire::testing::ConsoleProcess;
using tidewire::testing::ConsoleResult;
using tidewire::testing::Holds;
using tidewire::testing::Lacks;
using tidewire::testing::ReadBytes;
using tidewire::testing::RunConsoleWith;
using tidewire::testing::TempDir;
using tidewire::testing::WriteBytes;

constexpr const char* kLog =
    "-- Tidewire LOGfile -- \r\nDate/Time          : Mon, 7 Dec 2026 00:15:37 +0100\r\n"
    "Latest BID #       : 4711\r\n";

// A working directory the console starts in without any question: backup folder and
// settings file present.
class ConsoleTest : public ::testing::Test {
 protected:
  ConsoleTest() {
    std::filesystem::create_directory(dir_ / "backup");
    std::string config;
    for (int line = 1; line <= 15; ++line) config += "setting" + std::to_string(line) + "\r\n";
    WriteBytes(dir_ / "TWIRE.CFG", config + "TRUE\r\nFALSE\r\n30\r\nFALSE\r\n0\r\nTRUE\r\n");
  }

  bool Exists(const char* name) const { return std::filesystem::exists(dir_ / name); }

  TempDir dir_;
};

TEST_F(ConsoleTest, LogListsTheLogFileLineByLine) {
  WriteBytes(dir_ / "TWIRE.LOG", kLog);
  const ConsoleResult result = RunConsoleWith(dir_.path(), "log\n");
  EXPECT_TRUE(Holds(result.output,
                    "Commands: GO!, Backup, Restore, LOG, HELD, RELEASE n, DROP n, Stop\n-- "
                    "Tidewire LOGfile -- \n"
                    "Date/Time          : Mon, 7 Dec 2026 00:15:37 +0100\n"
                    "Latest BID #       : 4711\n"));
  EXPECT_TRUE(Holds(result.output, "[State] Ready to GO!\n"));
  EXPECT_TRUE(Holds(result.output, "[Activity] Idle\n"));
  EXPECT_EQ(result.exit_status, 0);
}

TEST_F(ConsoleTest, LogWithoutALogFileShowsTheErrorBoxAndGoesOn) {
  const ConsoleResult result = RunConsoleWith(dir_.path(), "LOG\nok\nLog\n");
  const std::string box = "[Error box]\n| LOG-File (TWIRE.LOG) does not exist\n[OK] ?\n";
  EXPECT_TRUE(Holds(result.output, box + "Answer: OK\n" + box +
                                       "Answer: OK (end of input)\nEnd of input: stopping.\n"));
  EXPECT_EQ(result.exit_status, 0);
}

TEST_F(ConsoleTest, StopSavesTheFlagsAndEndsOnYes) {
  WriteBytes(dir_ / "sound", "stale");
  const ConsoleResult result = RunConsoleWith(dir_.path(), "Stop\nyes\nLOG\n");
  EXPECT_TRUE(Holds(result.output,
                    "[Confirmation box]\n| Are you sure ?\n[Yes] [No] ?\n"
                    "Answer: Yes\n"));
  EXPECT_TRUE(Lacks(result.output, ("LOG-File")));  // nothing read after Stop
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(ReadBytes(dir_ / "sound"), "");  // saved afresh from the ticked box
  EXPECT_FALSE(Exists("autogo"));
}

TEST_F(ConsoleTest, StopAnsweredNoKeepsReadingCommands) {
  WriteBytes(dir_ / "TWIRE.LOG", kLog);
  const ConsoleResult result = RunConsoleWith(dir_.path(), "STOP\nNo\nlog\n");
  EXPECT_TRUE(Holds(result.output, "Answer: No\n-- Tidewire LOGfile -- \n"));
  EXPECT_TRUE(Holds(result.output, "End of input: stopping.\n"));
  EXPECT_EQ(result.exit_status, 0);
}

TEST_F(ConsoleTest, EndOfInputStopsWithoutAsking) {
  WriteBytes(dir_ / "sound", "");
  const ConsoleResult result = RunConsoleWith(dir_.path(), "");
  EXPECT_TRUE(Holds(result.output,
                    "Commands: GO!, Backup, Restore, LOG, HELD, RELEASE n, DROP n, Stop\nEnd of "
                    "input: stopping.\n"));
  EXPECT_TRUE(Lacks(result.output, ("Are you sure ?")));
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_TRUE(Exists("sound"));
}

TEST_F(ConsoleTest, UnknownCommandIsNamedWithTheCommandList) {
  const ConsoleResult result = RunConsoleWith(dir_.path(), "\n  \nFrobnicate\n");
  EXPECT_TRUE(Holds(result.output,
                    "Unknown command \"Frobnicate\". Commands: GO!, Backup, Restore, LOG, HELD, "
                    "RELEASE n, DROP n, Stop\n"));
  EXPECT_EQ(result.exit_status, 0);
}

TEST_F(ConsoleTest, ErrorLeavingACommandIsShownAndTheProgramGoesOn) {
  std::filesystem::create_directory(dir_ / "sound");  // Stop cannot delete it
  WriteBytes(dir_ / "TWIRE.LOG", kLog);
  const ConsoleResult result = RunConsoleWith(dir_.path(), "Stop\nOK\nLOG\n");
  EXPECT_TRUE(Holds(result.output, "[Error box]\n| File access denied\n| " +
                                       (dir_ / "sound").string() +
                                       "\n[OK] ?\nAnswer: OK\n"
                                       "-- Tidewire LOGfile -- \n"));
  EXPECT_TRUE(Lacks(result.output, ("Are you sure ?")));
  EXPECT_EQ(result.exit_status, 0);
}

TEST_F(ConsoleTest, MissingBackupFolderAnsweredOkFromInput) {
  std::filesystem::remove(dir_ / "backup");
  const ConsoleResult result = RunConsoleWith(dir_.path(), "maybe\nok\n");
  EXPECT_TRUE(Holds(result.output,
                    "[Confirmation box]\n| BACKUP-Dir does not exist!  Create new one?\n"
                    "[OK] [Cancel] ?\nPlease answer with one of: OK Cancel\nAnswer: OK\n"));
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "backup"));
  EXPECT_EQ(result.exit_status, 0);
}

TEST_F(ConsoleTest, MissingBackupFolderAtEndOfInputIsCancelledAndEndsTheProgram) {
  std::filesystem::remove(dir_ / "backup");
  WriteBytes(dir_ / "sound", "");
  const ConsoleResult result = RunConsoleWith(dir_.path(), "");
  EXPECT_TRUE(Holds(result.output, "Answer: Cancel (end of input)\n"));
  EXPECT_TRUE(Lacks(result.output, ("Commands:")));
  EXPECT_EQ(result.exit_status, 2);
  EXPECT_FALSE(Exists("backup"));
  EXPECT_TRUE(Exists("sound"));  // the program ended before anything was saved
}

TEST_F(ConsoleTest, MissingSettingsFileAtEndOfInputIsAcknowledged) {
  std::filesystem::remove(dir_ / "TWIRE.CFG");
  const ConsoleResult result = RunConsoleWith(dir_.path(), "");
  EXPECT_TRUE(Holds(result.output,
                    "[Error box]\n| TWIRE.CFG file not found! Please set and save settings\n"
                    "| or use your Backup disk to restore old one.\n[OK] ?\n"
                    "Answer: OK (end of input)\nCommands: GO!, Backup, Restore, LOG, HELD, RELEASE "
                    "n, DROP n, Stop\n"));
  EXPECT_EQ(result.exit_status, 0);
}

TEST_F(ConsoleTest, SecondInstanceIsRefusedWhileTheLockIsHeld) {
  const platform::SingleInstance holder(dir_ / "tidewire.lck");
  ASSERT_TRUE(holder.held());
  const ConsoleResult result = RunConsoleWith(dir_.path(), "LOG\n");
  EXPECT_EQ(result.output, "Another Tidewire instance is running in this directory.\n");
  EXPECT_EQ(result.exit_status, 1);
}

TEST_F(ConsoleTest, SecondProgramIsRefusedWhileTheFirstRuns) {
  ConsoleProcess first(dir_.path());
  ASSERT_TRUE(
      first.WaitForOutput("Commands: GO!, Backup, Restore, LOG, HELD, RELEASE n, DROP n, Stop\n"))
      << first.output();
  const ConsoleResult second = RunConsoleWith(dir_.path(), "");
  EXPECT_EQ(second.exit_status, 1);
  EXPECT_TRUE(Holds(second.output, "Another Tidewire instance is running"));
  const ConsoleResult result = first.Finish();
  EXPECT_EQ(result.exit_status, 0);
  const ConsoleResult third = RunConsoleWith(dir_.path(), "");
  EXPECT_EQ(third.exit_status, 0);  // the lock went with the first program
}

}  // namespace
}  // namespace tidewire
