// Keeping the air clean: the acceptlist, the filter, the size limit, the hold queue and the
// traffic log, each on its own and through a conversion of downloaded mail.
#include "inbound/air_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/dates.h"
#include "base/file_layer.h"
#include "inbound/downloads.h"
#include "inbound/held_queue.h"
#include "inbound/traffic_log.h"
#include "support/holds.h"
#include "support/station_fixture.h"

namespace tidewire::inbound {
namespace {

namespace fs = std::filesystem;
using tidewire::testing::Holds;
using tidewire::testing::ReadBytes;
using tidewire::testing::WriteBytes;

TEST(SenderAddress, IsTheAddressNeverTheDisplayName) {
  const std::pair<const char*, const char*> rows[] = {
      {"From: ann@good.example", "ann@good.example"},
      {"From: Ann <Ann@Good.Example>", "ann@good.example"},
      {"From: \"ann@good.example\" <mallory@stranger.example>", "mallory@stranger.example"},
      {"From: \"ann@good.example\" mallory@stranger.example", "mallory@stranger.example"},
      {"From: ann@good.example (Ann)", "ann@good.example"},
      {"From: (ann@good.example)", "ann@good.example"},
      {"From: nobody", ""},
      {"", ""},
  };
  for (const auto& [line, address] : rows) EXPECT_EQ(SenderAddress(line), address) << line;
}

class AirTest : public tidewire::testing::StationTest {
 protected:
  AirTest() {
    GatewayConfig& c = station_.config;
    c.HRoute = "XX0BBS.#TST.DEU.EU";
    c.BBSCall = "XX0BBS";
    c.AT2 = "SB EMAIL @ WW";
    c.AT = "INET";
    station_.users.Add({"XX2DEF", "XX0BBS", "Jane Doe", "jane@example.org"});
    station_.bid.Set(100);
  }
  static std::string Mail(const std::string& from, const std::string& to,
                          const std::string& subject) {
    return "From POPmail Mon Dec  7 10:00:00 2026\nFrom: " + from + "\nTo: " + to +
           "\nSubject: " + subject + "\nMessage-ID: <" + subject + "@x>\n\nBody of " + subject +
           "\n";
  }
  void Fetched(const std::string& mails) {
    WriteBytes(File("0000000.MSG"), mails);
    ConvertDownloads(station_);
  }
  std::string MailIn() { return fs::exists(File("MAIL.IN")) ? ReadBytes(File("MAIL.IN")) : ""; }
  std::string Traffic() { return ReadBytes(File("TRAFFIC.LOG")); }
};

TEST_F(AirTest, TheAcceptlistTakesAddressesAndDomainsAndComments) {
  WriteBytes(File("ACCEPT.LST"),
             "# friends\nAnn@Good.Example  # 2026-12-01 XX2DEF\n@club.example\n");
  const AirRules rules = AirRules::Read(station_.work_dir);
  const std::pair<const char*, bool> rows[] = {
      {"ann@good.example", true}, {"ANN@GOOD.EXAMPLE", true},   {"bob@good.example", false},
      {"x@club.example", true},   {"x@badclub.example", false}, {"", false},
      {"# friends", false},
  };
  for (const auto& [address, accepted] : rows)
    EXPECT_EQ(rules.Accepts(address), accepted) << address;
  EXPECT_TRUE(AirRules{}.Accepts("anyone@anywhere.example"));
}

TEST_F(AirTest, TheFilterJudgesByItsExitStatusAndNeverLosesTheMessage) {
  const struct {
    const char* command;
    Verdict verdict;
    const char* reason;
  } rows[] = {
      {"grep -q 'Subject: ham'", Verdict::kPassed, ""},
      {"grep -q 'Subject: ham' && exit 0 || exit 1", Verdict::kHeld, "FILTER.CMD held it"},
      {"exit 2", Verdict::kDropped, "FILTER.CMD dropped it"},
      {"exit 7", Verdict::kHeld, "FILTER.CMD ended with status 7"},
      {"kill -9 $$", Verdict::kHeld, "FILTER.CMD ended with status 137"},
      {"no-such-filter-program", Verdict::kHeld, "FILTER.CMD ended with status 127"},
      {"sleep 5", Verdict::kHeld, "FILTER.CMD gave no answer in 1 s"},
  };
  for (const auto& row : rows) {
    AirRules rules;
    rules.filter_command = row.command;
    rules.filter_time = std::chrono::seconds(1);
    const std::string message =
        row.verdict == Verdict::kPassed ? "Subject: ham\r\n" : "Subject: spam\r\n";
    const Judgement judgement = rules.JudgeSizeAndFilter(
        station_.work_dir, message.size(), [&](BinaryWriter& out) { out.Write(message); });
    EXPECT_EQ(judgement.verdict, row.verdict) << row.command;
    EXPECT_EQ(judgement.reason, row.reason) << row.command;
    EXPECT_FALSE(fs::exists(File("FILTER.IN")));
  }
  AirRules sized;
  sized.max_size = 10;
  EXPECT_EQ(sized.JudgeSizeAndFilter(station_.work_dir, 10, {}).verdict, Verdict::kPassed);
  EXPECT_EQ(sized.JudgeSizeAndFilter(station_.work_dir, 11, {}).reason,
            "larger than MAXSIZE (11 > 10 bytes)");
}

TEST_F(AirTest, AWrittenAddressJoinsTheListOnceAndOnlyWhenTheListIsKept) {
  AddCorrespondent(station_.work_dir, "Bob@Far.Example", "XX2DEF", kStationTime);
  EXPECT_FALSE(fs::exists(File("ACCEPT.LST")));
  WriteBytes(File("ACCEPT.LST"), "@club.example\r\n");
  for (const char* address :
       {"Bob@Far.Example", "bob@far.example", "x@club.example", "not an address"}) {
    AddCorrespondent(station_.work_dir, address, "XX2DEF", kStationTime);
  }
  EXPECT_EQ(ReadBytes(File("ACCEPT.LST")), "@club.example\r\nbob@far.example  # " +
                                               LocalDateTime(kStationTime).substr(0, 10) +
                                               " XX2DEF\r\n");
}

// A whole conversion: personal mail and accepted senders go on the air, strangers wait in HELD/
// until released (converted by the next pass) or dropped (kept in HELD/DROPPED); every message
// has its line in TRAFFIC.LOG.
TEST_F(AirTest, HeldMailWaitsUntilReleasedOrDropped) {
  WriteBytes(File("ACCEPT.LST"), "friend@good.example\r\n");
  Fetched(Mail("Jane <stranger@bad.example>", "jane@example.org", "personal") +
          Mail("friend@good.example", "gate@example.net", "accepted") +
          Mail("\"friend@good.example\" <mallory@bad.example>", "gate@example.net", "spam1") +
          Mail("other@bad.example", "gate@example.net", "spam2"));
  std::string mail_in = MailIn();
  EXPECT_TRUE(Holds(mail_in, "Body of personal"));
  EXPECT_TRUE(Holds(mail_in, "Body of accepted"));
  EXPECT_FALSE(Holds(mail_in, "spam"));
  const std::vector<HeldMessage> held = ListHeld(station_.work_dir);
  ASSERT_EQ(held.size(), 2u);
  EXPECT_EQ(held[0].sender, "mallory@bad.example");
  EXPECT_EQ(held[0].reason, "sender not on ACCEPT.LST");
  EXPECT_TRUE(Holds(ReadBytes(File("HELD/1.MSG")), "Body of spam1\r\n"));

  ASSERT_TRUE(ReleaseHeld(station_.work_dir, 1));
  EXPECT_FALSE(ReleaseHeld(station_.work_dir, 1));  // once
  ASSERT_TRUE(DropHeld(station_.work_dir, 2));
  EXPECT_FALSE(DropHeld(station_.work_dir, 9));
  EXPECT_TRUE(fs::exists(File("HELD/DROPPED/2.MSG")));
  fs::remove(File("MAIL.IN"));
  Fetched("");
  EXPECT_TRUE(Holds(MailIn(), "SB EMAIL @ WW < INET"));
  EXPECT_TRUE(Holds(MailIn(), "Body of spam1"));
  EXPECT_TRUE(ListHeld(station_.work_dir).empty());

  const std::string traffic = Traffic();
  for (const char* line :
       {"\tin\tstranger@bad.example\tSP XX2DEF @ XX0BBS\tpersonal\t<personal@x>\t",
        "\tin\tfriend@good.example\tSB EMAIL @ WW\taccepted\t<accepted@x>\t",
        "\tin\tmallory@bad.example\t\tspam1\t<spam1@x>\t", "\theld\r\n",
        "\tin\tmallory@bad.example\tSB EMAIL @ WW\tspam1\t<spam1@x>\t", "\treleased\r\n"}) {
    EXPECT_TRUE(Holds(traffic, line));
  }
}

// Articles pass MAXSIZE and FILTER.CMD too (not the acceptlist); a held one keeps its bulletin
// address and goes there once released.
TEST_F(AirTest, ArticlesAreJudgedAndReleasedToTheirGroupsAddress) {
  station_.config.NewsDestinations = {"TECH"};
  WriteBytes(File("MAXSIZE"), "150\n");
  WriteBytes(File("FILTER.CMD"), "grep -q 'Subject: drop' && exit 2 || exit 0\n");
  const auto article = [](const std::string& subject, std::size_t body) {
    const std::string text = "From: poster@news.example\nNewsgroups: tw.tech\nSubject: " + subject +
                             "\nMessage-ID: <" + subject + "@n>\n\n" + std::string(body, 'x') +
                             "\n";
    return "#! rnews " + std::to_string(text.size()) + "\n" + text;
  };
  WriteBytes(File("0000001.MSG"),
             article("small", 10) + article("large", 200) + article("drop", 1));
  ConvertDownloads(station_);
  EXPECT_TRUE(Holds(MailIn(), "SB TECH @ INET < poster $101-XX0BBS\r\nsmall\r\n"));
  EXPECT_FALSE(Holds(MailIn(), "large"));
  const std::vector<HeldMessage> held = ListHeld(station_.work_dir);
  ASSERT_EQ(held.size(), 1u);
  EXPECT_EQ(held[0].news_to, "SB TECH @ INET");
  EXPECT_TRUE(Holds(held[0].reason, "larger than MAXSIZE"));
  EXPECT_TRUE(fs::exists(File("HELD/DROPPED/2.MSG")));
  EXPECT_FALSE(fs::exists(File("NEWSWORK.TMP")));

  ASSERT_TRUE(ReleaseHeld(station_.work_dir, 1));
  fs::remove(File("MAIL.IN"));
  ConvertDownloads(station_);
  EXPECT_TRUE(Holds(MailIn(), "SB TECH @ INET < poster $102-XX0BBS\r\nlarge\r\n"));
  const std::string traffic = Traffic();
  for (const char* verdict :
       {"\tsmall\t<small@n>\t", "\tlarge\t<large@n>\t", "\tdropped\r\n", "\treleased\r\n"}) {
    EXPECT_TRUE(Holds(traffic, verdict));
  }
}

TEST_F(AirTest, TheTrafficLogStartsAfreshAtFiftyThousandBytes) {
  const std::string full(50000, 'x');
  WriteBytes(File("TRAFFIC.LOG"), full);
  LogTraffic(station_.work_dir,
             {kStationTime, "out", "XX2DEF", "a@b.example", "s\tt", "<id>", 9, Verdict::kPassed});
  EXPECT_EQ(ReadBytes(File("TRAFFIC.LOG.1")), full);
  EXPECT_EQ(ReadBytes(File("TRAFFIC.LOG")),
            LocalDateTime(kStationTime) + "\tout\tXX2DEF\ta@b.example\ts t\t<id>\t9\tpassed\r\n");
}

TEST_F(AirTest, WithoutTheStationFilesNothingChanges) {
  Fetched(Mail("other@bad.example", "gate@example.net", "list"));
  EXPECT_TRUE(Holds(MailIn(), "Body of list"));
  EXPECT_FALSE(fs::exists(File("TRAFFIC.LOG")));
  EXPECT_FALSE(fs::exists(File("HELD")));
}

}  // namespace
}  // namespace tidewire::inbound
