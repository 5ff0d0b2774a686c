// The README's demo: a station made by scripts/demo-station runs a complete pass, with the
// SOUP client beside the gateway taking the station's spool folder internet/ for the Internet.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "console/console_process.h"
#include "support/temp_dir.h"

namespace tidewire {
namespace {

namespace fs = std::filesystem;
using testing::Holds;
using testing::ReadBytes;
using testing::RunConsoleWith;
using testing::TempDir;

TEST(DemoStation, RunsACompletePassInBothDirections) {
  TempDir dir;
  const fs::path station = dir / "demo";
  const fs::path internet = station / "internet";
  const std::string script = fs::path(TIDEWIRE_DEMO_DIR).parent_path() / "scripts/demo-station";
  ASSERT_EQ(std::system((script + " " + station.string() + " >/dev/null").c_str()), 0);

  // No souper95 on PATH: the gateway must find tidewire-soup beside itself.
  const std::vector<std::string> env = {"PATH=/usr/bin:/bin"};
  const auto result = RunConsoleWith(station, "GO!\nOK\nOK\nYes\n", env);
  EXPECT_EQ(result.exit_status, 0) << result.output;
  EXPECT_TRUE(Holds(result.output, "- COMPLETED -"));

  // Packet to Internet: Jane's mail was sent into the outbox, the export file is empty again.
  std::vector<fs::path> sent;
  for (const auto& entry : fs::directory_iterator(internet / "outbox")) sent.push_back(entry);
  ASSERT_EQ(sent.size(), 1U);
  const std::string mail = ReadBytes(sent.front());
  EXPECT_EQ(mail.rfind("X-MailFrom: jane@example.org\nX-RcptTo: friend@example.com\n", 0), 0U)
      << mail;
  EXPECT_TRUE(Holds(mail, "\nHello from the packet network"));
  EXPECT_EQ(ReadBytes(station / "fbb" / "mail" / "fbbemail"), "");
  EXPECT_FALSE(fs::exists(station / "REPLIES"));

  // Internet to packet: FBB's mail.in holds the e-mail, the NEWSLIST answer and the news.
  const std::string mail_in = ReadBytes(station / "fbb" / "mail" / "mail.in");
  EXPECT_TRUE(Holds(mail_in, "SP XX2DEF @ XX0BBS.#TST.DEU.EU"));
  EXPECT_TRUE(Holds(mail_in, "SP XX3GHI"));  // the NEWSLIST answer
  EXPECT_TRUE(Holds(mail_in, "\r\nSB TECH @ "));
  EXPECT_TRUE(Holds(mail_in, "\r\nSB SPACE @ "));
  EXPECT_FALSE(fs::exists(station / "MAIL.IN"));
  EXPECT_TRUE(Holds(ReadBytes(station / "TWIRE.LOG"), "Packet -> Internet : 1"));
  EXPECT_TRUE(fs::is_empty(internet / "inbox"));
  EXPECT_EQ(ReadBytes(station / ".NEWSRC"),
            "comp.os.linux.misc: 1-2\r\nsci.space: 1\r\nrec.radio.amateur.misc:\r\n");

  // FBB imported it; a second pass finds nothing new on the spool.
  fs::remove(station / "fbb" / "mail" / "mail.in");
  const auto again = RunConsoleWith(station, "GO!\nYes\n", env);
  EXPECT_EQ(again.exit_status, 0) << again.output;
  EXPECT_FALSE(fs::exists(station / "fbb" / "mail" / "mail.in")) << again.output;
}

}  // namespace
}  // namespace tidewire
