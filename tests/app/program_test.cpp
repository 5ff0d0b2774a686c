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

}  // namespace
}  // namespace tidewire::app
