#include "outbound/export_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>

#include "base/errors.h"
#include "outbound/outbound_fixture.h"

namespace tidewire::outbound {
namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kDeadProcess = 2147483647;  // above any pid_max

std::string HostLine() {
  const std::string own = OwnLockText();
  const std::size_t first = own.find("\r\n") + 2;
  return own.substr(first, own.size() - first - 2);
}

std::string LockOf(long pid) { return std::to_string(pid) + "\r\n" + HostLine() + "\r\n"; }

int SplitCount(const std::string& packet) {
  int count = 0;
  for (std::size_t at = 0; at + 4 <= packet.size(); ++count) {
    std::uint32_t length = 0;
    for (int i = 0; i < 4; ++i) length = length << 8 | static_cast<unsigned char>(packet[at + i]);
    at += 4 + length;
  }
  return count;
}

class ExportLockTest : public OutboundTest {
 protected:
  [[nodiscard]] fs::path LockPath() const { return mailin_ / "fbbemail.lck"; }
  void AgeLock(std::time_t seconds) const {
    fs::last_write_time(LockPath(),
                        fs::file_time_type::clock::now() - std::chrono::seconds(seconds));
  }
  [[nodiscard]] std::time_t RealNow() const { return std::time(nullptr); }

  const std::string message_ = ExportText("SP INET < XX2DEF $1", "t", {"#TO:a@b.c", "text"});
};

// Looks for the lock whenever the pass shows a box: the pass may wait there for minutes.
class LockWatchingOperator : public testing::ScriptedOperator {
 public:
  explicit LockWatchingOperator(fs::path lock) : lock_(std::move(lock)) {}
  Answer ShowBox(BoxKind kind, Buttons buttons, std::string_view text) override {
    lock_seen_at_box = fs::exists(lock_);
    if (on_box) std::exchange(on_box, nullptr)();
    return ScriptedOperator::ShowBox(kind, buttons, text);
  }
  bool lock_seen_at_box = false;
  std::function<void()> on_box;

 private:
  fs::path lock_;
};

TEST_F(ExportLockTest, HeldWhileThePassWaitsOnABoxAndGoneAfterwards) {
  LockWatchingOperator op(LockPath());
  Station station(op, work_);
  station.config = station_.config;
  station.users = station_.users;
  station.clock = station_.clock;
  station.AutoGoMode = false;
  op.ExpectBox(BoxKind::kInformation, Buttons::kOk,
               "Found message from:\rUser: >XX2DEF<\rDatabase:XX2DEF\rHomeBBS:XX0BBS\r"
               "To-User:INET\rEmail  :dora@example.org\rSubject:t",
               Answer::kOk);
  PutExport(message_);
  ProcessExportFile(station, ids_);
  EXPECT_TRUE(op.lock_seen_at_box);
  EXPECT_FALSE(fs::exists(LockPath()));
  EXPECT_EQ(ExportBytes(), "");
}

TEST_F(ExportLockTest, PassStartedInsideARunningPassLeavesTheFileAlone) {
  LockWatchingOperator op(LockPath());
  Station station(op, work_);
  station.config = station_.config;
  station.users = station_.users;
  station.clock = [this] { return RealNow(); };
  station.AutoGoMode = false;
  op.on_box = [&] { ProcessExportFile(station, ids_); };
  op.ExpectBox(BoxKind::kInformation, Buttons::kOk,
               "Found message from:\rUser: >XX2DEF<\rDatabase:XX2DEF\rHomeBBS:XX0BBS\r"
               "To-User:INET\rEmail  :dora@example.org\rSubject:t",
               Answer::kOk);
  PutExport(message_);
  ProcessExportFile(station, ids_);
  EXPECT_EQ(op.status_lines[2], ">> LOCKED : Exportfile FBBEMAIL, left for the next pass");
  EXPECT_EQ(station.counters.PacketToInternet, 1);
  EXPECT_EQ(SplitCount(Work("MAIL.MSG")), 1);
}

TEST_F(ExportLockTest, LockHoldsThisProcessAndHost) {
  auto lock = ExportLock::Take(LockPath(), RealNow());
  ASSERT_TRUE(lock.has_value());
  EXPECT_EQ(testing::ReadBytes(LockPath()), LockOf(getpid()));
  // A second pass started inside this one (from a box's event loop) must not take it.
  EXPECT_FALSE(ExportLock::Take(LockPath(), RealNow()).has_value());
  lock->Release();
  EXPECT_FALSE(fs::exists(LockPath()));
}

TEST_F(ExportLockTest, LiveHolderKeepsTheExportFileForTheNextPass) {
  testing::WriteBytes(LockPath(), LockOf(getppid()));
  station_.clock = [this] { return RealNow(); };
  PutExport(message_);
  Put("MAIL.MSG", "waiting");
  Run();
  EXPECT_EQ(op_.status_lines,
            std::vector<std::string>{">> LOCKED : Exportfile FBBEMAIL, left for the next pass"});
  EXPECT_EQ(ExportBytes(), message_);
  EXPECT_EQ(testing::ReadBytes(LockPath()), LockOf(getppid()));
  EXPECT_EQ(Work("REPLIES"), "MAIL\tmail\tb\n");
}

TEST_F(ExportLockTest, ForeignLockIsRespectedUntilItIsAnHourOld) {
  testing::WriteBytes(LockPath(), "");
  station_.clock = [this] { return RealNow(); };
  PutExport(message_);
  Run();
  EXPECT_EQ(ExportBytes(), message_);

  AgeLock(ExportLock::kStaleSeconds + 10);
  Run();
  EXPECT_EQ(ExportBytes(), "");
  EXPECT_FALSE(fs::exists(LockPath()));
  EXPECT_TRUE(WorkHas("MAIL.MSG"));
}

TEST_F(ExportLockTest, LockOfADeadGatewayIsTakenOver) {
  testing::WriteBytes(LockPath(), LockOf(kDeadProcess));
  station_.clock = [this] { return RealNow(); };
  PutExport(message_);
  Run();
  EXPECT_EQ(ExportBytes(), "");
  EXPECT_FALSE(fs::exists(LockPath()));
}

TEST_F(ExportLockTest, DeadProcessOfAnotherHostIsNotJudgedHere) {
  EXPECT_FALSE(LockIsStale(std::to_string(kDeadProcess), "some-other-host", 0));
  EXPECT_TRUE(LockIsStale(std::to_string(kDeadProcess), HostLine(), 0));
  EXPECT_FALSE(LockIsStale(std::to_string(getpid()), HostLine(), 0));
  EXPECT_FALSE(LockIsStale(std::to_string(getppid()), HostLine(), 0));
  EXPECT_FALSE(LockIsStale("not a number", HostLine(), 0));
  EXPECT_TRUE(LockIsStale("", "", ExportLock::kStaleSeconds + 1));
  EXPECT_FALSE(LockIsStale("", "", ExportLock::kStaleSeconds));
}

TEST_F(ExportLockTest, RemovedWhenThePassStopsOnAnError) {
  fs::create_directory(work_ / "MAIL.IN");
  PutExport(ExportText("SP INET < XX9ZZZ $1", "t", {}));
  EXPECT_THROW(Run(), IoError);
  EXPECT_FALSE(fs::exists(LockPath()));
  EXPECT_FALSE(ExportBytes().empty());
}

TEST_F(ExportLockTest, LockInCapitalsIsFoundAndRespected) {
  testing::WriteBytes(mailin_ / "FBBEMAIL.LCK", LockOf(getppid()));
  station_.clock = [this] { return RealNow(); };
  PutExport(message_);
  Run();
  EXPECT_EQ(ExportBytes(), message_);
  EXPECT_FALSE(fs::exists(LockPath()));
}

}  // namespace
}  // namespace tidewire::outbound
