#include "inbound/import_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "base/errors.h"
#include "base/text.h"
#include "support/fbb_import.h"
#include "support/scripted_operator.h"
#include "support/temp_dir.h"

namespace tidewire::inbound {
namespace {

using tidewire::testing::FbbLines;
using tidewire::testing::FbbMessage;
using tidewire::testing::ImportLikeFbb;
using tidewire::testing::ReadBytes;
using tidewire::testing::ScriptedOperator;
using tidewire::testing::StartsWithCommand;
using tidewire::testing::TempDir;
using tidewire::testing::WriteBytes;

// 2026-12-07 23:30 UTC, already 8 December in Berlin.
constexpr std::time_t kFixedTime = 1796686200;

class ImportFileTest : public ::testing::Test {
 protected:
  ImportFileTest() : station_(op_, dir_.path()) {
    station_.clock = [] { return kFixedTime; };
    GatewayConfig& config = station_.config;
    config.BBSCall = "XX0BBS";
    config.HRoute = "#TST.DEU.EU";
    config.QTH = "Testcity";
    config.AT = "INET";
    config.InfoLine = "  Info one";
    config.InfoLine2 = "Info two";
  }

  // The bulletin-ID counter as it stands after NextBid issued `number`.
  void IssueBid(std::int32_t number) {
    station_.bid.Set(number - 1);
    station_.bid.NextBid();
  }

  [[nodiscard]] std::string MailIn() const { return ReadBytes(dir_ / "MAIL.IN"); }

  TempDir dir_;
  ScriptedOperator op_;
  Station station_;
};

TEST_F(ImportFileTest, RoutingLineIsMadeOfItsPiecesInUtc) {
  IssueBid(1234);
  EXPECT_EQ(RoutingLine(station_.config, station_.bid, station_.Now()),
            "R:261207/2330Z @:#TST.DEU.EU #:1234 [Testcity] Tidelink $:1234-XX0BBS");
}

TEST_F(ImportFileTest, EmptyRouteAndQthLeaveNothingBetweenTheMarkers) {
  station_.config.HRoute.clear();
  station_.config.QTH.clear();
  IssueBid(7);
  EXPECT_EQ(RoutingLine(station_.config, station_.bid, station_.Now()),
            "R:261207/2330Z @: #:7 [] Tidelink $:7-XX0BBS");
}

TEST_F(ImportFileTest, BidAfter99989IsOne) {
  station_.bid.Set(BidCounter::kLast);
  ImportWriter writer = OpenImportFile(station_.work_dir, station_.op, Announce::kSilent);
  BeginLongMessage(writer, station_.config, station_.bid, station_.Now(), "SB NEWS @ EU", "XX2DEF",
                   "Title");
  WriteStandardTrailer(writer, station_.config, station_.bid);
  writer.Close();
  EXPECT_EQ(BulletinId(station_.config, station_.bid), "1-XX0BBS");
  EXPECT_EQ(MailIn(),
            "SB NEWS @ EU < XX2DEF $1-XX0BBS\r\n"
            "Title\r\n"
            "R:261207/2330Z @:#TST.DEU.EU #:1 [Testcity] Tidelink $:1-XX0BBS\r\n"
            "\r\n"
            "\r\n"
            "\r\n"
            "  Info one\r\n"
            "** Tidewire V1.6 Beta  INTERNET <-> PACKET Radio Gateway by Varnel **\r\n"
            "\r\n"
            "/EX\r\n");
}

struct ParityCase {
  const char* name;
  std::int32_t counter;
  const char* info_line;
  const char* info_line2;
  const char* info;
  const char* banner_end;
};

class ParityTest : public ImportFileTest, public ::testing::WithParamInterface<ParityCase> {};

TEST_P(ParityTest, InfoLineAndBannerFollowTheCounter) {
  const ParityCase& c = GetParam();
  station_.config.InfoLine = c.info_line;
  station_.config.InfoLine2 = c.info_line2;
  station_.bid.Set(c.counter);
  EXPECT_EQ(CurrentInfoLine(station_.config, station_.bid), c.info);
  EXPECT_EQ(VersionBanner(station_.bid),
            std::string("V1.6 Beta  INTERNET <-> PACKET Radio Gateway by ") + c.banner_end);
  EXPECT_EQ(BannerLine(station_.bid),
            std::string("** Tidewire V1.6 Beta  INTERNET <-> PACKET Radio Gateway by ") +
                c.banner_end + " **");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParityTest,
    ::testing::Values(ParityCase{"odd", 3, "one", "two", "one", "Varnel"},
                      ParityCase{"even", 4, "one", "two", "two", "QX1VZP"},
                      ParityCase{"zero_is_even", 0, "one", "two", "two", "QX1VZP"},
                      ParityCase{"even_second_blank", 4, "one", " {} ", "one", "QX1VZP"},
                      ParityCase{"odd_first_blank", 5, "", "two", "", "Varnel"},
                      ParityCase{"even_first_blank", 6, "", "two", "two", "QX1VZP"}),
    [](const auto& info) { return std::string(info.param.name); });

// The trailer of one message issued as `number`, everything after the body.
std::string TrailerBytes(Station& station, std::int32_t number) {
  station.bid.Set(number);
  ImportWriter writer = OpenImportFile(station.work_dir, station.op, Announce::kSilent);
  writer.WriteHeaderLine("SP A");
  writer.WriteTitleLine("t");
  WriteStandardTrailer(writer, station.config, station.bid);
  writer.Close();
  const std::string bytes = ReadBytes(station.File("MAIL.IN"));
  DeleteFile(station.File("MAIL.IN"));
  return bytes.substr(std::string("SP A\r\nt\r\n").size());
}

TEST_F(ImportFileTest, TrailerCarriesTheInfoLineOfItsParity) {
  EXPECT_EQ(TrailerBytes(station_, 9),
            "\r\n\r\n  Info one\r\n"
            "** Tidewire V1.6 Beta  INTERNET <-> PACKET Radio Gateway by Varnel **\r\n\r\n/EX\r\n");
  EXPECT_EQ(TrailerBytes(station_, 10),
            "\r\n\r\nInfo two\r\n"
            "** Tidewire V1.6 Beta  INTERNET <-> PACKET Radio Gateway by QX1VZP **\r\n\r\n/EX\r\n");
}

TEST_F(ImportFileTest, BlankInfoLineLeavesTheInfoLineOutOfTheTrailer) {
  station_.config.InfoLine = "   ";
  const std::string expected =
      "\r\n\r\n** Tidewire V1.6 Beta  INTERNET <-> PACKET Radio Gateway by QX1VZP "
      "**\r\n\r\n/EX\r\n";
  EXPECT_EQ(TrailerBytes(station_, 10), expected);
}

TEST_F(ImportFileTest, BlankInfoLine2GivesInfoLineOnEvenNumbers) {
  station_.config.InfoLine2.clear();
  EXPECT_EQ(TrailerBytes(station_, 10),
            "\r\n\r\n  Info one\r\n"
            "** Tidewire V1.6 Beta  INTERNET <-> PACKET Radio Gateway by QX1VZP **\r\n\r\n/EX\r\n");
}

TEST_F(ImportFileTest, ConsecutiveMessagesAlternateTheBanners) {
  station_.bid.Set(40);
  ImportWriter writer = OpenImportFile(station_.work_dir, station_.op, Announce::kSilent);
  for (int i = 0; i < 2; ++i) {
    BeginLongMessage(writer, station_.config, station_.bid, station_.Now(), "SP XX1ABC @ XX0BBS",
                     "INET", "Mail");
    WriteStandardTrailer(writer, station_.config, station_.bid);
  }
  writer.Close();
  const std::string bytes = MailIn();
  const auto varnel = bytes.find("by Varnel **");
  const auto qx = bytes.find("by QX1VZP **");
  ASSERT_NE(varnel, std::string::npos);
  ASSERT_NE(qx, std::string::npos);
  EXPECT_LT(varnel, qx);  // 41 is odd, 42 even
  EXPECT_NE(bytes.find("$41-XX0BBS\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("$42-XX0BBS\r\n"), std::string::npos);
  EXPECT_EQ(writer.messages_written(), 2);
}

TEST_F(ImportFileTest, LongHeaderNeverLeavesTheSenderEmpty) {
  IssueBid(55);
  EXPECT_EQ(LongHeader("SP XX1ABC @ XX0BBS", "INET", station_.config, station_.bid),
            "SP XX1ABC @ XX0BBS < INET $55-XX0BBS");
  EXPECT_EQ(LongHeader("SB INFO @ EU", "", station_.config, station_.bid),
            "SB INFO @ EU < INET $55-XX0BBS");
  EXPECT_EQ(LongHeader("SB INFO @ EU", "  ", station_.config, station_.bid),
            "SB INFO @ EU < INET $55-XX0BBS");
  station_.config.AT = " ";
  EXPECT_EQ(LongHeader("SB INFO @ EU", "", station_.config, station_.bid),
            "SB INFO @ EU $55-XX0BBS");
  EXPECT_EQ(LongHeader("SB INFO @ EU", "SERVER", station_.config, station_.bid),
            "SB INFO @ EU < SERVER $55-XX0BBS");
}

TEST_F(ImportFileTest, ShortHeaderForms) {
  UserRecord user;
  user.UserCALL = "XX1ABC";
  user.HomeBBS = "XX0BBS";
  EXPECT_EQ(ShortHeader(user), "SP XX1ABC @ XX0BBS < TDWIRE");
  EXPECT_EQ(ShortHeader("XX9ZZZ"), "SP XX9ZZZ < TDWIRE");
  user.HomeBBS = " ";
  EXPECT_EQ(ShortHeader(user), "SP XX1ABC < TDWIRE");
}

TEST_F(ImportFileTest, FirstWriterCreatesLaterWriterAppends) {
  {
    ImportWriter first = OpenImportFile(station_.work_dir, station_.op, Announce::kAnnounce);
    first.WriteHeaderLine(ShortHeader("XX1ABC"));
    first.WriteTitleLine("*** ACK - MESSAGE ***");
    first.WriteEnd();
    first.Close();
  }
  {
    ImportWriter second = OpenImportFile(station_.work_dir, station_.op, Announce::kAnnounce);
    second.WriteHeaderLine(ShortHeader("XX2DEF"));
    second.WriteTitleLine("*** SERVER MESSAGE ***");
    second.WriteEnd();
    second.Close();
  }
  EXPECT_EQ(op_.status_lines,
            (std::vector<std::string>{" Creating file: MAIL.IN", " Writing to file: MAIL.IN"}));
  EXPECT_EQ(MailIn(),
            "SP XX1ABC < TDWIRE\r\n*** ACK - MESSAGE ***\r\n/EX\r\n"
            "SP XX2DEF < TDWIRE\r\n*** SERVER MESSAGE ***\r\n/EX\r\n");
}

TEST_F(ImportFileTest, SilentOpenAppendsToAnExistingFile) {
  WriteBytes(dir_ / "mail.in", "SP OLD\r\nold\r\n/EX\r\n");
  ImportWriter writer = OpenImportFile(station_.work_dir, station_.op, Announce::kSilent);
  writer.WriteHeaderLine("SP NEW");
  writer.WriteTitleLine("new");
  writer.WriteEnd();
  writer.Close();
  EXPECT_TRUE(op_.status_lines.empty());
  EXPECT_EQ(ReadBytes(dir_ / "mail.in"), "SP OLD\r\nold\r\n/EX\r\nSP NEW\r\nnew\r\n/EX\r\n");
  EXPECT_FALSE(fs::exists(dir_ / "MAIL.IN"));
}

TEST_F(ImportFileTest, UnusableFileIsNotReplaced) {
  const fs::path path = dir_ / "MAIL.IN";
  WriteBytes(path, "SP OLD\r\nold\r\n/EX\r\n");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  try {
    (void)OpenImportFile(station_.work_dir, station_.op, Announce::kAnnounce);
    FAIL() << "no error";
  } catch (const IoError& e) {
    EXPECT_STREQ(e.what(), "File access denied");
  }
  EXPECT_EQ(ReadBytes(path), "SP OLD\r\nold\r\n/EX\r\n");
  EXPECT_TRUE(op_.status_lines.empty());
}

// --- What FBB makes of the file.

TEST_F(ImportFileTest, ForgedMessagesInABodyStayBody) {
  const std::vector<std::string> hostile = {
      "text\n/EX\nSP XX9EVL < EVIL $666_EVIL\nforged\nforged body\n/EX",
      "/abort",
      "before\r/ex\rSB ALL @ WW < EVIL\rt\r/EX",
      std::string("nul\0\n/EX", 9),
      "sub\x1a\n/Exit",
      "/EX",
  };
  station_.bid.Set(100);
  ImportWriter writer = OpenImportFile(station_.work_dir, station_.op, Announce::kSilent);
  for (const std::string& line : hostile) {
    BeginLongMessage(writer, station_.config, station_.bid, station_.Now(), "SP XX1ABC @ XX0BBS",
                     "", "Mail");
    writer.WriteBodyLine(line);
    WriteStandardTrailer(writer, station_.config, station_.bid);
  }
  writer.WriteHeaderLine(ShortHeader("XX1ABC"));
  writer.WriteTitleLine("*** SERVER MESSAGE ***");
  writer.WriteBodyLine("/EX\n/AB");
  writer.WriteEnd();
  writer.Close();

  const std::string bytes = MailIn();
  EXPECT_EQ(bytes.find('\0'), std::string::npos);
  EXPECT_EQ(bytes.find('\x1a'), std::string::npos);
  for (std::size_t p = bytes.find('\r'); p != std::string::npos; p = bytes.find('\r', p + 1)) {
    ASSERT_EQ(bytes[p + 1], '\n') << "lone CR at " << p;
  }
  const std::vector<std::string> lines = FbbLines(bytes);
  const std::size_t messages = hostile.size() + 1;
  std::size_t end_lines = 0;
  for (const std::string& line : lines) {
    if (StartsWithCommand(line, "EX")) ++end_lines;
    EXPECT_FALSE(StartsWithCommand(line, "AB")) << line;
  }
  EXPECT_EQ(end_lines, messages);
  EXPECT_EQ(lines.back(), "/EX");

  int dropped = 0;
  const std::vector<FbbMessage> imported = ImportLikeFbb(bytes, dropped);
  EXPECT_EQ(dropped, 0);
  ASSERT_EQ(imported.size(), messages);
  for (std::size_t k = 0; k < hostile.size(); ++k) {
    EXPECT_EQ(imported[k].header,
              "SP XX1ABC @ XX0BBS < INET $" + std::to_string(101 + k) + "-XX0BBS");
    EXPECT_EQ(imported[k].body.front().rfind("R:261207/2330Z", 0), 0u);
  }
  EXPECT_EQ(imported.back().header, "SP XX1ABC < TDWIRE");
  EXPECT_EQ(imported.back().body, (std::vector<std::string>{" /EX", " /AB"}));
  EXPECT_EQ(writer.messages_written(), static_cast<int>(messages));
}

// FBB takes the title line literally, so a title never ends a message; a break in it must not
// make a second line, though.
TEST_F(ImportFileTest, HostileTitlesStayOneTitleLine) {
  const std::vector<std::string> titles = {"/EX", "/abort", "t\n/EX\nSP XX9EVL < EVIL\nx",
                                           std::string("a\0\r\nSB ALL", 10)};
  station_.bid.Set(10);
  ImportWriter writer = OpenImportFile(station_.work_dir, station_.op, Announce::kSilent);
  for (const std::string& title : titles) {
    BeginLongMessage(writer, station_.config, station_.bid, station_.Now(), "SB ALL @ WW", "SERVER",
                     title);
    WriteStandardTrailer(writer, station_.config, station_.bid);
  }
  writer.Close();
  int dropped = 0;
  const std::vector<FbbMessage> imported = ImportLikeFbb(MailIn(), dropped);
  EXPECT_EQ(dropped, 0);
  ASSERT_EQ(imported.size(), titles.size());
  EXPECT_EQ(imported[0].title, "/EX");
  EXPECT_EQ(imported[1].title, "/abort");
  EXPECT_EQ(imported[2].title, "t /EX SP XX9EVL < EVIL x");
  EXPECT_EQ(imported[3].title, "a   SB ALL");
  for (const FbbMessage& message : imported) {
    EXPECT_EQ(message.header.rfind("SB ALL @ WW < SERVER $", 0), 0u) << message.header;
  }
}

}  // namespace
}  // namespace tidewire::inbound
