// The README's demo: a station made by scripts/demo-station runs a complete pass, with the
// stand-in SOUP client beside the gateway playing the Internet.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "console/console_process.h"
#include "support/temp_dir.h"

namespace tidewire {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::RunConsoleWith;
using testing::TempDir;

TEST(DemoStation, RunsACompletePassInBothDirections) {
  TempDir dir;
  const fs::path station = dir / "demo";
  const std::string script = fs::path(TIDEWIRE_DEMO_DIR).parent_path() / "scripts/demo-station";
  ASSERT_EQ(std::system((script + " " + station.string() + " >/dev/null").c_str()), 0);

  // No souper95 on PATH: the gateway must find tidewire-soup beside itself.
  const auto result =
      RunConsoleWith(station, "GO!\nOK\nOK\nYes\n",
                     {"PATH=/usr/bin:/bin", "TIDEWIRE_SOUP_SERVER=" + (station / "internet").string()});
  EXPECT_EQ(result.exit_status, 0) << result.output;
  EXPECT_NE(result.output.find("- COMPLETED -"), std::string::npos) << result.output;

  // Packet to Internet: Jane's mail went out in the sent packet, the export file is empty again.
  const std::string sent = ReadBytes(station / "internet" / "sent" / "MAIL.MSG");
  EXPECT_NE(sent.find("friend@example.com"), std::string::npos);
  EXPECT_EQ(ReadBytes(station / "fbb" / "mail" / "fbbemail"), "");
  EXPECT_FALSE(fs::exists(station / "REPLIES"));

  // Internet to packet: FBB's mail.in holds the server answer, the e-mail and the news.
  const std::string mail_in = ReadBytes(station / "fbb" / "mail" / "mail.in");
  EXPECT_NE(mail_in.find("SP XX2DEF @ XX0BBS.#TST.DEU.EU"), std::string::npos) << mail_in;
  EXPECT_NE(mail_in.find("SP XX3GHI"), std::string::npos) << mail_in;  // the NEWSLIST answer
  EXPECT_NE(mail_in.find("\r\nSB "), std::string::npos) << mail_in;
  EXPECT_FALSE(fs::exists(station / "MAIL.IN"));
  EXPECT_NE(ReadBytes(station / "TWIRE.LOG").find("Packet -> Internet : 1"), std::string::npos);
}

}  // namespace
}  // namespace tidewire
