// The real program tidewire as a child process on the offscreen platform.
#include <gtest/gtest.h>

#include <QLocalSocket>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "app/demo_station.h"
#include "app/instance_channel.h"
#include "platform/child_process.h"

namespace tidewire::app {
namespace {

namespace fs = std::filesystem;
using platform::ChildProcess;
using namespace std::chrono_literals;

class ProgramTest : public testing::DemoStationTest {
 protected:
  std::optional<ChildProcess> Start() {
    return ChildProcess::Start(TIDEWIRE_GUI_BINARY, {"tidewire"}, station_);
  }
  // The window is up once its instance socket answers.
  bool WaitForWindow() {
    for (auto waited = 0ms; waited < 30s; waited += 50ms) {
      QLocalSocket socket;
      socket.connectToServer(InstanceServerName(station_));
      if (socket.waitForConnected(100)) return true;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }
};

TEST_F(ProgramTest, AnAutoGoStartRunsOnePassAndEndsWithoutAQuestion) {
  testing::WriteBytes(station_ / "autogo", "");
  auto program = Start();
  ASSERT_TRUE(program.has_value());
  ASSERT_TRUE(program->WaitFor(90s)) << "the program did not end by itself";
  EXPECT_EQ(program->exit_status(), 0);
  EXPECT_TRUE(fs::exists(Mailin("mail.in")));
  EXPECT_TRUE(fs::exists(station_ / "autogo"));
  EXPECT_TRUE(fs::exists(ini_));
}

TEST_F(ProgramTest, ASecondStartInTheSameDirectoryEndsWithStatus1) {
  auto first = Start();
  ASSERT_TRUE(first.has_value());
  ASSERT_TRUE(WaitForWindow());
  auto second = Start();
  ASSERT_TRUE(second.has_value());
  ASSERT_TRUE(second->WaitFor(30s));
  EXPECT_EQ(second->exit_status(), 1);
  EXPECT_FALSE(first->WaitFor(10ms)) << "the first instance must keep running";
  first->Kill();
}

// The station comes from the command line: a directory, the menu's own station, or nothing
// usable (status 11, and nothing is made where the program was started).
TEST_F(ProgramTest, TheCommandLineNamesTheStation) {
  const fs::path elsewhere = station_.parent_path() / "started-here";
  fs::create_directories(elsewhere);
  testing::WriteBytes(station_ / "autogo", "");
  const struct {
    std::vector<std::string> args;
    int status;
    fs::path runs_in;  // where the pass left its log; empty: no pass
  } cases[] = {
      {{"tidewire", station_.string()}, 0, station_},
      {{"tidewire", (elsewhere / "missing").string()}, 11, {}},
      {{"tidewire", "--bogus"}, 11, {}},
      {{"tidewire", "--help"}, 0, {}},
      {{"tidewire", "--menu"}, 0, elsewhere / "data/tidewire/station"},
  };
  for (const auto& c : cases) {
    auto program = ChildProcess::Start(TIDEWIRE_GUI_BINARY, c.args, elsewhere,
                                       {"XDG_DATA_HOME=" + (elsewhere / "data").string()});
    ASSERT_TRUE(program.has_value());
    // The menu's new station has no autogo: its window waits for the operator.
    const bool menu = c.args[1] == "--menu";
    if (!program->WaitFor(menu ? 5s : 90s)) program->Kill();
    if (!menu) {
      EXPECT_EQ(program->exit_status(), c.status) << c.args[1];
    }
    if (!c.runs_in.empty()) {
      EXPECT_TRUE(fs::exists(c.runs_in)) << c.args[1];
    }
    EXPECT_FALSE(fs::exists(elsewhere / "backup")) << c.args[1];
  }
  EXPECT_TRUE(fs::exists(station_ / "TWIRE.LOG"));
  EXPECT_EQ(fs::status(elsewhere / "data/tidewire/station").permissions(), fs::perms::owner_all);
}

}  // namespace
}  // namespace tidewire::app
