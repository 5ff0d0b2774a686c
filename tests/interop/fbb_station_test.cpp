// FBB and the gateway running side by side for a few minutes, as on a real station: FBB scans
// its import file and forwards every minute, the gateway runs AutoGO passes from a loop.
//
// FBB does not forward in a minute in which it imports a file: the packet mail goes out at the
// first minute boundary with nothing to import, so the run takes three FBB minutes.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "interop/interop_station.h"

namespace tidewire::interop {
namespace {

using tidewire::testing::Occurrences;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kRunLimit = 300s;  // three FBB minutes and room for a loaded machine
constexpr auto kLongestPass = 10s;

std::chrono::seconds SecondsToNextMinute() {
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  return 60s - std::chrono::duration_cast<std::chrono::seconds>(since_epoch) % 60;
}

// Mail from packet users to the Internet: message k of a batch.
std::string PacketMail(int k) {
  const std::string n = std::to_string(k);
  return "SP INET < " + std::string(k % 2 ? "XX2DEF" : "XX3GHI") + "\r\nPacket mail " + n +
         "\r\n#TO: friend" + n + "@example.com\r\nPacket body " + n + "\r\n/EX\r\n";
}

std::string InternetMail(int k) {
  const std::string n = std::to_string(k);
  return SoupMail(k % 2 ? "Jane Doe <jane@example.org>" : "John Smith <john@example.net>",
                  "Internet mail " + n, {"Internet body " + n});
}

std::string Summary(const FbbInstance& fbb) {
  std::string text;
  for (const FbbRecord& r : fbb.Messages()) {
    text += std::to_string(r.number) + " " + r.type + r.status + " " + r.to + " @ " + r.route +
            " < " + r.from + " " + r.title + "\n";
  }
  return text;
}

class FbbStationTest : public ::testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_FBB(); }

  // Every message in a batch: packet mail into FBB's import file (added to what waits there),
  // Internet mail and one news article onto the server.
  bool PutBatch(FbbInstance& fbb, const GatewayStation& station, int first) {
    if (!fbb.AppendToImportFile(PacketMail(first) + PacketMail(first + 1))) return false;
    const std::string mail = ReadBytes(station.Inbox("0000000.MSG"));
    WriteBytes(station.Inbox("0000000.MSG"), mail + InternetMail(first) + InternetMail(first + 1));
    const std::string news = ReadBytes(station.Inbox("0000001.MSG"));
    WriteBytes(station.Inbox("0000001.MSG"),
               news + RnewsArticle("(Carol Q)", "Internet news " + std::to_string(first), {"n"}));
    sent_up_to_ = first + 1;
    return true;
  }

  [[nodiscard]] int TitleCount(const FbbInstance& fbb, const std::string& title) const {
    int n = 0;
    for (const FbbRecord& r : fbb.ImportedMessages()) n += r.title == title ? 1 : 0;
    return n;
  }

  // Everything put in so far has come out at the other end.
  [[nodiscard]] bool AllThrough(const FbbInstance& fbb, const GatewayStation& station) const {
    const std::string sent = ReadBytes(station.Sent("MAIL.MSG"));
    for (int k = 1; k <= sent_up_to_; ++k) {
      const std::string n = std::to_string(k);
      if (Occurrences(sent, "Packet body " + n + "\n") == 0) return false;
      if (TitleCount(fbb, "Internet mail " + n) == 0) return false;
    }
    for (int k = 1; k <= sent_up_to_; k += 2) {
      if (TitleCount(fbb, "Internet news " + std::to_string(k)) == 0) return false;
    }
    return true;
  }

  int sent_up_to_ = 0;
};

TEST_F(FbbStationTest, EveryMessageComesOutOnceAtTheOtherEnd) {
  FbbInstance::Options options;
  options.gateway_call = "INET";
  FbbInstance fbb(options);
  GatewayStation station(fbb.ImportDir());
  ASSERT_TRUE(PutBatch(fbb, station, 1));
  // FBB's minutes are the wall clock's; a start just before one would leave no time for the
  // first batch's answers before the second batch.
  if (SecondsToNextMinute() < 12s) std::this_thread::sleep_for(SecondsToNextMinute() + 1s);
  const auto start = Clock::now();
  const auto second_batch_time = start + SecondsToNextMinute() - 6s;
  ASSERT_TRUE(fbb.Start()) << fbb.Log();
  int passes = 0;
  bool second_batch = false;
  std::string outputs;
  while (Clock::now() - start < kRunLimit) {
    const auto now = Clock::now();
    if (!second_batch && now >= second_batch_time) {
      // The second batch joins what waits for FBB's next scan.
      second_batch = PutBatch(fbb, station, 3);
      continue;
    }
    if (!second_batch && now + kLongestPass > second_batch_time) {
      std::this_thread::sleep_for(1s);
      continue;
    }
    const ConsoleResult result = station.Pass();
    outputs += result.output;
    ++passes;
    // 8: the pass found FBB's import file still waiting and only counted down.
    ASSERT_TRUE(result.exit_status == 0 || result.exit_status == 8) << result.output;
    if (second_batch && AllThrough(fbb, station)) break;
    std::this_thread::sleep_for(3s);
  }
  ASSERT_TRUE(second_batch);
  EXPECT_TRUE(AllThrough(fbb, station)) << "after " << passes << " passes; sent:\n"
                                        << ReadBytes(station.Sent("MAIL.MSG")) << "\nFBB holds:\n"
                                        << Summary(fbb) << "passes:\n"
                                        << outputs;
  // One pass more: nothing may come out a second time.
  EXPECT_TRUE(Completed(station.Pass()) || fs::exists(fbb.ImportFile()));
  EXPECT_EQ(fbb.Stop(), 1);
  const std::string sent = ReadBytes(station.Sent("MAIL.MSG"));
  EXPECT_EQ(Occurrences(sent, "Message-ID: "), 4) << sent;
  for (int k = 1; k <= 4; ++k) {
    const std::string n = std::to_string(k);
    EXPECT_EQ(Occurrences(sent, "Packet body " + n + "\n"), 1) << n;
    EXPECT_EQ(TitleCount(fbb, "Internet mail " + n), 1) << n;
  }
  EXPECT_EQ(TitleCount(fbb, "Internet news 1"), 1);
  EXPECT_EQ(TitleCount(fbb, "Internet news 3"), 1);
  EXPECT_FALSE(fs::exists(station.Sent("NEWS.MSG")));  // the news FBB got never went back
  EXPECT_EQ(TitleCount(fbb, "*** DELIVERY ERROR ***"), 0);
}

}  // namespace
}  // namespace tidewire::interop
