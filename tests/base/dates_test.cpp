#include "base/dates.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tidewire {
namespace {

// 2026-12-07 23:15:37 UTC, a Monday.
constexpr std::time_t kWinterEvening = 1796685337;
// 2026-07-01 10:05:09 UTC, a Wednesday.
constexpr std::time_t kSummerMorning = 1782900309;

class ZoneTest : public ::testing::Test {
 protected:
  void SetZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }
  void TearDown() override { SetZone("Europe/Berlin"); }
};

TEST_F(ZoneTest, MailDateCarriesTheRealOffset) {
  SetZone("Europe/Berlin");
  EXPECT_EQ(MailDateText(kWinterEvening), "Tue, 8 Dec 2026 00:15:37 +0100");
  EXPECT_EQ(MailDateText(kSummerMorning), "Wed, 1 Jul 2026 12:05:09 +0200");
  SetZone("America/St_Johns");
  EXPECT_EQ(MailDateText(kWinterEvening), "Mon, 7 Dec 2026 19:45:37 -0330");
  SetZone("UTC");
  EXPECT_EQ(MailDateText(kWinterEvening), "Mon, 7 Dec 2026 23:15:37 +0000");
}

TEST_F(ZoneTest, RoutingStampIsUtcWhateverTheZone) {
  SetZone("Europe/Berlin");
  EXPECT_EQ(RoutingDateStamp(kWinterEvening), "261207/2315Z");
  SetZone("Asia/Tokyo");
  EXPECT_EQ(RoutingDateStamp(kSummerMorning), "260701/1005Z");
}

}  // namespace
}  // namespace tidewire
