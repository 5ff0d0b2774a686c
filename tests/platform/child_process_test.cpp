#include "platform/child_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace tidewire::platform {
namespace {

using tidewire::testing::ReadBytes;
using tidewire::testing::TempDir;
using tidewire::testing::WriteBytes;
namespace fs = std::filesystem;

struct SplitRow {
  const char* name;
  const char* line;
  std::vector<std::string> words;
};

class SplitCommandLineTest : public ::testing::TestWithParam<SplitRow> {};

TEST_P(SplitCommandLineTest, BlanksSeparateWords) {
  EXPECT_EQ(SplitCommandLine(GetParam().line), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SplitCommandLineTest,
    ::testing::Values(
        SplitRow{"Plain", "souper95.exe -s smtp gw pw", {"souper95.exe", "-s", "smtp", "gw", "pw"}},
        SplitRow{"DoubleBlankIsOneSeparator", "a  b", {"a", "b"}},
        SplitRow{"TrailingBlankAddsNoWord", "a b ", {"a", "b"}},
        SplitRow{"QuotesAreOrdinaryCharacters", "a \"b c\"", {"a", "\"b", "c\""}},
        SplitRow{"Empty", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

class ChildProcessTest : public ::testing::Test {
 protected:
  // A shell script run as a child in the temporary folder.
  std::optional<ChildProcess> Shell(const std::string& script) {
    return ChildProcess::Start("/bin/sh", {"sh", "-c", script}, dir_.path());
  }

  TempDir dir_;
};

TEST_F(ChildProcessTest, RunsInTheWorkingDirectoryAndReportsItsExitStatus) {
  auto child = Shell("pwd > where; exit 3");
  ASSERT_TRUE(child);
  EXPECT_TRUE(child->WaitFor(std::nullopt));
  EXPECT_TRUE(child->ended());
  EXPECT_EQ(child->exit_status(), 3);
  EXPECT_EQ(ReadBytes(dir_ / "where"), dir_.path().string() + "\n");
}

TEST_F(ChildProcessTest, InheritsTheEnvironmentSetBeforeTheStart) {
  SetEnvironment("TIDEWIRE_CHILD_TEST", "a b");
  auto child = Shell("printf %s \"$TIDEWIRE_CHILD_TEST\" > env");
  ::unsetenv("TIDEWIRE_CHILD_TEST");
  ASSERT_TRUE(child);
  EXPECT_TRUE(child->WaitFor(std::nullopt));
  EXPECT_EQ(ReadBytes(dir_ / "env"), "a b");
}

TEST_F(ChildProcessTest, InheritsNoOpenFileButTheStandardThree) {
  const int fd = ::open((dir_ / "held").c_str(), O_CREAT | O_RDWR, 0644);  // no O_CLOEXEC
  ASSERT_GE(fd, 3);
  auto child = Shell("if [ -e /proc/self/fd/" + std::to_string(fd) +
                     " ]; then echo open > seen; else echo closed > seen; fi");
  ASSERT_TRUE(child);
  EXPECT_TRUE(child->WaitFor(std::nullopt));
  ::close(fd);
  EXPECT_EQ(ReadBytes(dir_ / "seen"), "closed\n");
}

TEST_F(ChildProcessTest, AProgramThatCannotStartGivesNothing) {
  EXPECT_FALSE(ChildProcess::Start(dir_ / "missing", {"missing"}, dir_.path()));
  WriteBytes(dir_ / "not-executable", "#!/bin/sh\n");
  EXPECT_FALSE(ChildProcess::Start(dir_ / "not-executable", {"x"}, dir_.path()));
  EXPECT_FALSE(ChildProcess::Start("/bin/sh", {"sh"}, dir_ / "no-such-folder"));
}

TEST_F(ChildProcessTest, AWaitWithALimitReturnsWhileTheChildRunsAndKillEndsIt) {
  auto child = Shell("exec sleep 30");
  ASSERT_TRUE(child);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(child->WaitFor(std::chrono::milliseconds(50)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(child->ended());
  const pid_t pid = child->pid();
  child->Kill();
  EXPECT_TRUE(child->ended());
  EXPECT_EQ(child->exit_status(), 128 + 9);
  EXPECT_NE(::kill(pid, 0), 0);  // reaped: the number is free
}

TEST_F(ChildProcessTest, KillAlsoEndsWhatTheChildStarted) {
  // A wrapper script whose real client hangs: the client must not survive the watchdog.
  auto child = Shell("sleep 30 & echo $! > grandchild; wait");
  ASSERT_TRUE(child);
  while (!fs::exists(dir_ / "grandchild") || ReadBytes(dir_ / "grandchild").empty()) {
    EXPECT_FALSE(child->WaitFor(std::chrono::milliseconds(10)));
  }
  const pid_t grandchild = std::stoi(ReadBytes(dir_ / "grandchild"));
  child->Kill();
  // The grandchild is reaped by init; wait until it is gone (or a zombie of init's).
  bool gone = false;
  for (int i = 0; i < 500 && !gone; ++i) {
    const std::string stat_file = "/proc/" + std::to_string(grandchild) + "/stat";
    gone = !fs::exists(stat_file) || ReadBytes(stat_file).find(") Z ") != std::string::npos;
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(gone);
}

TEST_F(ChildProcessTest, ADroppedChildIsEndedAndReaped) {
  pid_t pid = -1;
  {
    auto child = Shell("exec sleep 30");
    ASSERT_TRUE(child);
    pid = child->pid();
  }
  EXPECT_NE(::kill(pid, 0), 0);
}

TEST_F(ChildProcessTest, FindProgramSearchesPathForAPlainWord) {
  const std::string saved = std::getenv("PATH") ? std::getenv("PATH") : "";
  WriteBytes(dir_ / "tool", "#!/bin/sh\n");
  ::chmod((dir_ / "tool").c_str(), 0755);
  WriteBytes(dir_ / "plain", "no x bit");
  ::setenv("PATH", ("/nonexistent:" + dir_.path().string()).c_str(), 1);
  EXPECT_EQ(FindProgram("tool"), dir_ / "tool");
  EXPECT_EQ(FindProgram("plain"), std::filesystem::path());
  EXPECT_EQ(FindProgram("absent"), std::filesystem::path());
  EXPECT_EQ(FindProgram((dir_ / "tool").string()), dir_ / "tool");  // a slash: the file itself
  EXPECT_EQ(FindProgram(""), std::filesystem::path());
  ::setenv("PATH", saved.c_str(), 1);
}

// A captured child's output and error come back in lines: CR LF ends a line, a last line
// without its end comes with the rest, and an endless line comes in 64 KiB pieces.
TEST_F(ChildProcessTest, CapturedOutputComesBackInLines) {
  auto child = ChildProcess::Start(
      "/bin/sh",
      {"sh", "-c",
       "printf 'one\\ntwo\\r\\n'; printf 'err\\n' >&2; head -c 150000 /dev/zero | tr '\\0' x"},
      dir_.path(), {}, /*capture=*/true);
  ASSERT_TRUE(child.has_value());
  std::vector<std::string> lines;
  bool ended = false;
  while (!ended) {
    ended = child->WaitFor(std::chrono::milliseconds(20));
    for (std::string& line : child->TakeLines(ended)) lines.push_back(std::move(line));
  }
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ((std::vector<std::string>(lines.begin(), lines.begin() + 3)),
            (std::vector<std::string>{"one", "two", "err"}));
  EXPECT_EQ(lines[3].size() + lines[4].size() + lines[5].size(), 150000u);
  EXPECT_EQ(lines[3].size(), 65536u);
  EXPECT_EQ(child->exit_status(), 0);
}

TEST(OwnFolder, IsTheFolderOfTheRunningExecutable) {
  EXPECT_TRUE(std::filesystem::exists(OwnFolder() / "tidewire_tests"));
}

}  // namespace
}  // namespace tidewire::platform
