#include "cycle/run_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "base/dates.h"
#include "base/errors.h"
#include "support/scripted_operator.h"
#include "support/station_fixture.h"
#include "support/temp_dir.h"

namespace tidewire::cycle {
namespace {

using tidewire::testing::ReadBytes;
using tidewire::testing::ScriptedOperator;
using tidewire::testing::TempDir;
using tidewire::testing::WriteBytes;

constexpr std::time_t kWhen = 1796598937;  // a fixed moment in December 2026
const std::string kTitle = "-- Tidewire LOGfile -- \r\n";

class RunLogTest : public tidewire::testing::StationTest {
 protected:
  RunLogTest() {
    station_.clock = [] { return kWhen; };
  }

  std::filesystem::path LogFile() const { return dir_ / "TWIRE.LOG"; }

  // The record WriteRunLog must append for these counts.
  static std::string Record(const RunCounters& c, std::int32_t bid) {
    return "Date/Time          : " + MailDateText(kWhen) + "\r\n" +
           "Inet   -> Packet   : " + std::to_string(c.InetToPacket) + "\r\n" +
           "Email  -> Packet   : " + std::to_string(c.EmailToPacket) + "\r\n" +
           "Packet -> Internet : " + std::to_string(c.PacketToInternet) + "\r\n" +
           "Server messages    : " + std::to_string(c.ServerMessages) + "\r\n" +
           "Bad    messages    : " + std::to_string(c.BadMessages) + "\r\n" +
           "Latest BID #       : " + std::to_string(bid) + "\r\n" +
           "Software Version   : V1.6\r\n" + "-------------------------------------\r\n";
  }
};

TEST_F(RunLogTest, FirstRecordStartsTheFileWithTheTitleLine) {
  station_.counters = RunCounters{12, 7, 3, 2, 1};
  station_.bid.Set(4711);
  WriteRunLog(dir_.path(), station_.counters, station_.bid.value(), kWhen);
  EXPECT_EQ(ReadBytes(LogFile()), kTitle + Record(station_.counters, 4711));
  EXPECT_TRUE(op_.status_lines.empty());
}

TEST_F(RunLogTest, PassThatMovedNothingWritesAllZeros) {
  WriteRunLog(dir_.path(), station_.counters, station_.bid.value(), kWhen);
  const std::string log = ReadBytes(LogFile());
  EXPECT_EQ(log, kTitle + Record(RunCounters{}, 0));
  EXPECT_NE(log.find("Inet   -> Packet   : 0\r\nEmail  -> Packet   : 0\r\n"
                     "Packet -> Internet : 0\r\nServer messages    : 0\r\n"
                     "Bad    messages    : 0\r\nLatest BID #       : 0\r\n"),
            std::string::npos);
}

TEST_F(RunLogTest, SecondRecordIsAppendedWithoutAnotherTitle) {
  WriteRunLog(dir_.path(), station_.counters, station_.bid.value(), kWhen);
  station_.counters.ServerMessages = 5;
  station_.bid.Set(9);
  WriteRunLog(dir_.path(), station_.counters, station_.bid.value(), kWhen);
  EXPECT_EQ(ReadBytes(LogFile()), kTitle + Record(RunCounters{}, 0) + Record(station_.counters, 9));
}

struct SizeCase {
  const char* name;
  std::size_t size;
  bool restarted;
};

class RunLogSizeTest : public RunLogTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(RunLogSizeTest, LogIsStartedAfreshFrom50000BytesKeepingTheOldOne) {
  const SizeCase& c = GetParam();
  const std::string old(c.size, 'x');
  WriteBytes(LogFile(), old);
  WriteBytes(dir_ / "TWIRE.LOG.1", "older");
  station_.bid.Set(3);
  WriteRunLog(dir_.path(), station_.counters, station_.bid.value(), kWhen);
  const std::string record = Record(RunCounters{}, 3);
  EXPECT_EQ(ReadBytes(LogFile()), c.restarted ? kTitle + record : old + record);
  EXPECT_TRUE(ReadBytes(dir_ / "TWIRE.LOG.1") == (c.restarted ? old : "older"));
}

INSTANTIATE_TEST_SUITE_P(Rows, RunLogSizeTest,
                         ::testing::Values(SizeCase{"just_below", 49999, false},
                                           SizeCase{"exactly_50000", 50000, true},
                                           SizeCase{"beyond", 50001, true},
                                           SizeCase{"empty_file_is_appended_to", 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RunLogTest, ListingThreeRecordsGivesTheTitleAnd27Lines) {
  for (std::int32_t bid : {10, 20, 30}) {
    station_.bid.Set(bid);
    WriteRunLog(dir_.path(), station_.counters, station_.bid.value(), kWhen);
  }
  ListRunLog(dir_.path(), op_);
  ASSERT_EQ(op_.status_lines.size(), 28u);
  EXPECT_EQ(op_.status_lines.front(), "-- Tidewire LOGfile -- ");
  EXPECT_EQ(op_.status_lines[1], "Date/Time          : " + MailDateText(kWhen));
  EXPECT_EQ(op_.status_lines[7], "Latest BID #       : 10");
  EXPECT_EQ(op_.status_lines[25], "Latest BID #       : 30");
  EXPECT_EQ(op_.status_lines.back(), "-------------------------------------");
  EXPECT_TRUE(op_.boxes.empty());
}

TEST_F(RunLogTest, ListingAnEmptyLogAddsOneEmptyLine) {
  WriteBytes(LogFile(), "");
  ListRunLog(dir_.path(), op_);
  EXPECT_EQ(op_.status_lines, std::vector<std::string>{""});
}

TEST_F(RunLogTest, ListingKeepsALastLineWithoutLineEnd) {
  WriteBytes(LogFile(), "one\r\ntwo");
  ListRunLog(dir_.path(), op_);
  EXPECT_EQ(op_.status_lines, (std::vector<std::string>{"one", "two"}));
}

TEST_F(RunLogTest, ListingAMissingLogShowsTheErrorBox) {
  op_.ExpectOk(BoxKind::kError, "LOG-File (TWIRE.LOG) does not exist");
  ListRunLog(dir_.path(), op_);
  EXPECT_TRUE(op_.status_lines.empty());
  EXPECT_FALSE(std::filesystem::exists(LogFile()));
}

}  // namespace
}  // namespace tidewire::cycle

namespace tidewire::cycle {
namespace {

TEST(RunLogHistory, AReadOnlyLogIsNotStartedAfresh) {
  TempDir dir;
  ScriptedOperator op;
  Station station{op, dir.path()};
  WriteBytes(dir / "TWIRE.LOG", "-- Tidewire LOGfile -- \r\nolder records\r\n");
  ASSERT_EQ(chmod((dir / "TWIRE.LOG").c_str(), 0444), 0);
  try {
    WriteRunLog(station.work_dir, station.counters, station.bid.value(), station.Now());
    ADD_FAILURE() << "no error";
  } catch (const IoError& e) {
    EXPECT_STREQ(e.what(), "File access denied");
  }
  EXPECT_EQ(ReadBytes(dir / "TWIRE.LOG"), "-- Tidewire LOGfile -- \r\nolder records\r\n");
}

}  // namespace
}  // namespace tidewire::cycle
