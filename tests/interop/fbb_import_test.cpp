// Whole gateway passes whose MAIL.IN the real LinFBB imports: whatever FBB stores must be
// what the gateway wrote, message for message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "interop/interop_station.h"

namespace tidewire::interop {
namespace {

using namespace std::chrono_literals;

// Debian's reject.sys rule lines, the last of which holds every bulletin made on this BBS.
constexpr const char* kDebianRules =
    "R B    TOTO   ALL     TATA    *          0\n"
    "R B    *      *       VENTE   *          0\n"
    "R B    *      VENTE   *       *          0\n"
    "H *    P1RAT  *       *       *          0\n";
constexpr const char* kDebianLocalHold = "L B    *      *       *       *          0\n";
// The exemption docs/fbb-setup.md recommends for the demo station (AT = INET).
constexpr const char* kGatewayExemption =
    "!L B   INET   *       *       *          0\n"
    "!L B   SERVER *       *       *          0\n";

std::string RecommendedRules() {
  return std::string(kDebianRules) + kGatewayExemption + kDebianLocalHold;
}

FbbInstance::Options WithRules(const std::string& rules, bool quick_sleeps = false) {
  FbbInstance::Options options;
  options.reject_rules = rules;
  options.quick_sleeps = quick_sleeps;
  return options;
}

const std::string kCorpus = TIDEWIRE_CORPUS_DIR;

// The corpus's own packet maker; the number of messages it wrote, or -1.
int MakeSoup(const std::string& kind, const fs::path& output) {
  const fs::path log = output.string() + ".log";
  const std::string command = "python3 '" + kCorpus + "/make-soup.py' " + kind + " '" + kCorpus +
                              "/" + kind + "' -o '" + output.string() + "' >'" + log.string() +
                              "' 2>&1";
  if (std::system(command.c_str()) != 0) return -1;
  const std::string said = ReadBytes(log);
  const std::size_t colon = said.rfind(": ");
  return colon == std::string::npos ? -1 : std::atoi(said.c_str() + colon + 2);
}

class FbbImportTest : public ::testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_FBB(); }

  // One pass, then FBB started on the handed-over file until it has imported it. The corpora
  // hold a few messages twice, byte for byte, which go to FBB once: repeats_ counts them.
  void PassAndImport(GatewayStation& station, FbbInstance& fbb) {
    const ConsoleResult pass = station.Pass();
    ASSERT_TRUE(Completed(pass));
    repeats_ = tidewire::testing::Occurrences(pass.output, " Handed to FBB before, skipped: ");
    ASSERT_TRUE(fs::exists(fbb.ImportFile())) << "the pass handed nothing to FBB";
    ASSERT_TRUE(fbb.Start()) << fbb.Log();
    ASSERT_TRUE(fbb.WaitForImport(240s)) << "FBB did not take mail.in\n" << fbb.Log();
    EXPECT_EQ(fbb.Stop(), 1) << fbb.Log();
  }

  // What the pass wrote, read back from its backup copy.
  std::vector<WrittenMessage> Written(const GatewayStation& station) {
    std::string faults;
    std::vector<WrittenMessage> written = ReadWrittenMessages(station.BackupMailIn(), faults);
    EXPECT_EQ(faults, "");
    return written;
  }

  int repeats_ = 0;

  static int CountHeaders(const std::vector<WrittenMessage>& written, const std::string& start) {
    int n = 0;
    for (const WrittenMessage& m : written) n += m.header.rfind(start, 0) == 0 ? 1 : 0;
    return n;
  }
};

TEST_F(FbbImportTest, EveryCorpusMailIsStoredAsWritten) {
  ASSERT_TRUE(fs::exists(kCorpus + "/make-soup.py")) << "no corpus at " << kCorpus;
  FbbInstance fbb(WithRules(RecommendedRules(), true));
  GatewayStation station(fbb.ImportDir());
  const int mails = MakeSoup("mail", station.Inbox("0000000.MSG"));
  ASSERT_GT(mails, 3000);
  PassAndImport(station, fbb);
  const std::vector<WrittenMessage> written = Written(station);
  EXPECT_LT(repeats_, 50);
  EXPECT_GE(static_cast<int>(written.size()), mails - repeats_);
  EXPECT_TRUE(StoredAsWritten(written, fbb.ImportedMessages(), fbb));
  EXPECT_TRUE(fbb.Held().empty());
}

// MIME as plain text (flag file MIMETEXT): FBB stores every corpus mail as written, and the
// channel carries fewer bytes than with the mail as it came.
TEST_F(FbbImportTest, EveryCorpusMailAsPlainTextIsStoredAsWrittenAndShorter) {
  ASSERT_TRUE(fs::exists(kCorpus + "/make-soup.py")) << "no corpus at " << kCorpus;
  std::uintmax_t as_it_came = 0;
  {
    TempDir mailin;
    GatewayStation plain_station(mailin.path());
    ASSERT_GT(MakeSoup("mail", plain_station.Inbox("0000000.MSG")), 3000);
    ASSERT_TRUE(Completed(plain_station.Pass()));
    as_it_came = fs::file_size(mailin / "mail.in");
  }
  FbbInstance fbb(WithRules(RecommendedRules(), true));
  GatewayStation station(fbb.ImportDir());
  station.Flag("MIMETEXT");
  const int mails = MakeSoup("mail", station.Inbox("0000000.MSG"));
  PassAndImport(station, fbb);
  const std::vector<WrittenMessage> written = Written(station);
  EXPECT_LT(repeats_, 50);
  EXPECT_GE(static_cast<int>(written.size()), mails - repeats_);
  EXPECT_TRUE(StoredAsWritten(written, fbb.ImportedMessages(), fbb));
  EXPECT_TRUE(fbb.Held().empty());
  const std::uintmax_t plain = station.BackupMailIn().size();
  EXPECT_LT(plain, as_it_came);
  std::cout << "corpus mail: " << mails << " mails, mail.in " << as_it_came
            << " bytes as they came, " << plain << " bytes as plain text, " << as_it_came - plain
            << " bytes (" << 100 * (as_it_came - plain) / as_it_came
            << " %) saved on the channel\n";
}

TEST_F(FbbImportTest, EveryCorpusArticleIsStoredAsWritten) {
  ASSERT_TRUE(fs::exists(kCorpus + "/make-soup.py")) << "no corpus at " << kCorpus;
  FbbInstance fbb(WithRules(RecommendedRules(), true));
  GatewayStation station(fbb.ImportDir());
  const int articles = MakeSoup("news", station.Inbox("0000001.MSG"));
  ASSERT_GT(articles, 2000);
  PassAndImport(station, fbb);
  const std::vector<WrittenMessage> written = Written(station);
  EXPECT_LT(repeats_, 20);
  EXPECT_EQ(CountHeaders(written, "SB TECH @ INET < "), articles - repeats_);
  EXPECT_TRUE(StoredAsWritten(written, fbb.ImportedMessages(), fbb));
  EXPECT_TRUE(fbb.Held().empty());
}

// What FBB's export file brought for the gateway: server requests, mail to acknowledge, and
// the three kinds of rejection; plus an e-mail to Jane from the Internet in the same pass.
TEST_F(FbbImportTest, ServerAnswersAcknowledgementsAndDeliveryErrorsAreStored) {
  FbbInstance fbb(WithRules(RecommendedRules()));
  GatewayStation station(fbb.ImportDir());
  station.Flag("ACK");
  WriteBytes(fbb.ExportFile(),
             FbbExported("SERVER", "XX2DEF", 201, "USERINFO NEWSLIST HELP", {"please"}) +
                 FbbExported("INET", "XX2DEF", 202, "Mail out", {"#TO: alice@example.com", "Hi"}) +
                 FbbExported("INET", "XX3GHI", 203, "No address line", {"hello"}) +
                 FbbExported("SYSOP", "XX2DEF", 204, "Wrong address", {"hello"}) +
                 FbbExported("INET", "XX9ZZZ", 205, "Not registered", {"#TO: bob@example.com"}));
  WriteBytes(station.Inbox("0000000.MSG"),
             SoupMail("Jane Doe <jane@example.org>", "Hello Jane", {"From the Internet."}));
  PassAndImport(station, fbb);
  const std::vector<WrittenMessage> written = Written(station);
  // user info, newsgroup list (HELP is not answered beside USERINFO), the acknowledgement and
  // the wrong-address rejection
  EXPECT_EQ(CountHeaders(written, "SP XX2DEF @ XX0BBS.#TST.DEU.EU < TDWIRE"), 4);
  EXPECT_EQ(CountHeaders(written, "SP XX3GHI @ XX0BBS < TDWIRE"), 1);
  EXPECT_EQ(CountHeaders(written, "SP XX9ZZZ < TDWIRE"), 1);
  EXPECT_EQ(CountHeaders(written, "SP XX2DEF @ XX0BBS.#TST.DEU.EU < INET $"), 1);
  EXPECT_TRUE(StoredAsWritten(written, fbb.ImportedMessages(), fbb));
  std::vector<std::string> titles;
  for (const FbbRecord& r : fbb.ImportedMessages()) titles.push_back(r.title);
  for (const char* title : {"*** SERVER MESSAGE ***", "*** ACK - MESSAGE ***",
                            "*** DELIVERY ERROR ***", "Hello Jane"}) {
    EXPECT_NE(std::find(titles.begin(), titles.end(), title), titles.end()) << title;
  }
}

TEST_F(FbbImportTest, InfoAndBroadcastMessagesAreStored) {
  FbbInstance fbb(WithRules(RecommendedRules()));
  GatewayStation station(fbb.ImportDir());
  station.SetConfigLine(18, "2");  // an info message after every second article
  WriteBytes(station.Work("twire.sim"), "Tidewire info\r\n/EX is no end here\r\n");
  WriteBytes(station.Work("bmes.txt"), "Gateway down on Sunday\r\n/ab\r\n");
  std::string news;
  for (int i = 1; i <= 4; ++i) {
    news += RnewsArticle("Carol <carol@example.org> (Carol Q)", "Article " + std::to_string(i),
                         {"Text " + std::to_string(i)});
  }
  WriteBytes(station.Inbox("0000001.MSG"), news);
  PassAndImport(station, fbb);
  const std::vector<WrittenMessage> written = Written(station);
  EXPECT_EQ(CountHeaders(written, "SB INFO @ INET < SERVER $"), 2);
  EXPECT_EQ(CountHeaders(written, "SP XX2DEF @ XX0BBS.#TST.DEU.EU < SERVER $"), 1);
  EXPECT_EQ(CountHeaders(written, "SP XX3GHI @ XX0BBS < SERVER $"), 1);
  EXPECT_EQ(CountHeaders(written, "SB TECH @ INET < CarolQ $"), 4);
  EXPECT_TRUE(StoredAsWritten(written, fbb.ImportedMessages(), fbb));
}

TEST_F(FbbImportTest, BulletinIdsAcrossTheWrapAreStored) {
  FbbInstance fbb(WithRules(RecommendedRules()));
  GatewayStation station(fbb.ImportDir());
  station.SetBidCounter(99986);
  std::string news;
  for (int i = 1; i <= 6; ++i) {
    news += RnewsArticle("Dave <dave@example.org>", "Wrap " + std::to_string(i), {"x"});
  }
  WriteBytes(station.Inbox("0000001.MSG"), news);
  PassAndImport(station, fbb);
  const std::vector<WrittenMessage> written = Written(station);
  EXPECT_TRUE(StoredAsWritten(written, fbb.ImportedMessages(), fbb));
  std::vector<std::string> bids;
  for (const FbbRecord& r : fbb.ImportedMessages()) bids.push_back(r.bid);
  EXPECT_EQ(bids, (std::vector<std::string>{"99987-XX0BBS", "99988-XX0BBS", "99989-XX0BBS",
                                            "1-XX0BBS", "2-XX0BBS", "3-XX0BBS"}));
  EXPECT_EQ(ReadBytes(station.Work("TWIREBID.BIN")), "3");
}

TEST_F(FbbImportTest, TitlesOf76To80CharactersStayOneLine) {
  FbbInstance fbb(WithRules(RecommendedRules()));
  GatewayStation station(fbb.ImportDir());
  std::string mails;
  for (std::size_t length = 76; length <= 80; ++length) {
    std::string subject = "Subject of " + std::to_string(length) + " characters ";
    while (subject.size() < length) subject += static_cast<char>('a' + subject.size() % 26);
    mails += SoupMail("Jane Doe <jane@example.org>", subject, {"first", "second"});
  }
  WriteBytes(station.Inbox("0000000.MSG"), mails);
  PassAndImport(station, fbb);
  const std::vector<WrittenMessage> written = Written(station);
  ASSERT_EQ(written.size(), 5u);
  for (const WrittenMessage& m : written) EXPECT_LE(m.title.size(), 77u) << m.title;
  EXPECT_TRUE(StoredAsWritten(written, fbb.ImportedMessages(), fbb));
}

// Lines FBB would take as commands: "/EX" ends the message (the rest would be imported as
// messages of their own), "/AB" drops it, "/AC" makes FBB send an "ACK:" message to INET.
// NUL and byte 26 would join lines.
TEST_F(FbbImportTest, BodyLinesFbbWouldObeyAreStoredAsText) {
  FbbInstance fbb(WithRules(RecommendedRules()));
  GatewayStation station(fbb.ImportDir());
  WriteBytes(station.Inbox("0000000.MSG"),
             SoupMail("Jane Doe <jane@example.org>", "Commands in the body",
                      {"/EX",
                       "/ex",
                       "/EXIT now",
                       "/Example",
                       "/ab",
                       "/ABORT",
                       " /EX",
                       "/ACK",
                       "/ack",
                       "/A",
                       "//",
                       std::string("ab\0cd", 5),
                       std::string("\0", 1),
                       std::string("x\x1ay", 3),
                       "SP XX3GHI @ XX0BBS < EVIL $666_EVIL",
                       "Injected title",
                       "/EX",
                       "NNNN",
                       "***END",
                       "last line"}) +
                 SoupMail("Jane Doe <jane@example.org>", "The next one", {"still here"}));
  PassAndImport(station, fbb);
  const std::vector<WrittenMessage> written = Written(station);
  ASSERT_EQ(written.size(), 2u);
  EXPECT_TRUE(StoredAsWritten(written, fbb.ImportedMessages(), fbb));
  for (const FbbRecord& r : fbb.ImportedMessages()) EXPECT_NE(r.from, "EVIL");
}

// Debian's last rule holds bulletins made on this BBS; FBB does not count a message whose
// body starts with an R: line as made here, and every bulletin of the gateway starts so.
TEST_F(FbbImportTest, StockDebianRulesHoldNoBulletinOfTheGateway) {
  FbbInstance fbb(WithRules(std::string(kDebianRules) + kDebianLocalHold));
  GatewayStation station(fbb.ImportDir());
  station.SetConfigLine(18, "1");
  WriteBytes(station.Work("twire.sim"), "Tidewire info\r\n");
  WriteBytes(station.Inbox("0000000.MSG"),
             SoupMail("Nobody <nobody@example.net>", "For the general address", {"x"}));
  WriteBytes(station.Inbox("0000001.MSG"),
             RnewsArticle("erin@example.org (Erin Ex)", "News", {"y"}));
  PassAndImport(station, fbb);
  const std::vector<WrittenMessage> written = Written(station);
  EXPECT_EQ(CountHeaders(written, "SB EMAIL @ WW < INET $"), 1);
  EXPECT_EQ(CountHeaders(written, "SB TECH @ INET < ErinEx $"), 1);
  EXPECT_EQ(CountHeaders(written, "SB INFO @ INET < SERVER $"), 1);
  EXPECT_TRUE(fbb.Held().empty());
  EXPECT_TRUE(StoredAsWritten(written, fbb.ImportedMessages(), fbb));
}

struct RulesCase {
  const char* name;
  bool exemption;
  bool held;
};

void PrintTo(const RulesCase& row, std::ostream* os) { *os << row.name; }

class FbbRulesTest : public FbbImportTest, public ::testing::WithParamInterface<RulesCase> {};

// A bulletin from the gateway's senders without the routing line, as FBB sees one.
TEST_P(FbbRulesTest, ABulletinWithoutRoutingLineIsHeldUnlessExempted) {
  const std::string rules = std::string(kDebianRules) +
                            (GetParam().exemption ? kGatewayExemption : "") + kDebianLocalHold;
  FbbInstance fbb(WithRules(rules));
  ASSERT_TRUE(fbb.PutImportFile(
      "SB TECH @ INET < INET $7-XX0BBS\r\nFrom the mail side\r\nfirst body\r\n/EX\r\n"
      "SB INFO @ INET < SERVER $8-XX0BBS\r\nFrom the server\r\nfirst body\r\n/EX\r\n"
      "SB TECH @ INET < XX2DEF $9_XX0BBS\r\nFrom a user\r\nfirst body\r\n/EX\r\n"));
  ASSERT_TRUE(fbb.Start()) << fbb.Log();
  ASSERT_TRUE(fbb.WaitForImport(60s));
  fbb.Stop();
  std::vector<std::string> held;
  for (const HeldMessage& m : fbb.Held()) {
    EXPECT_EQ(m.record.status, 'H');
    held.push_back(m.record.from);
  }
  std::vector<std::string> stored;
  for (const FbbRecord& r : fbb.ImportedMessages()) stored.push_back(r.from);
  using Calls = std::vector<std::string>;
  // A user's own bulletin stays held either way: the exemption names only the gateway.
  EXPECT_EQ(held, GetParam().held ? (Calls{"INET", "SERVER", "XX2DEF"}) : (Calls{"XX2DEF"}));
  EXPECT_EQ(stored, GetParam().held ? Calls{} : (Calls{"INET", "SERVER"}));
}

INSTANTIATE_TEST_SUITE_P(Rows, FbbRulesTest,
                         ::testing::Values(RulesCase{"stock_debian_rules", false, true},
                                           RulesCase{"with_gateway_exemption", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// FBB gives every message without bulletin ID (the gateway's short-form answers, its own
// notices, local mail) the ID "<number>_<own call>" and drops a later message with an ID it
// has seen. The server answer becomes message 101 with ID 101_XX0BBS; the e-mail the same pass
// converts with counter 100 -> 101 must not be taken for it.
TEST_F(FbbImportTest, AGatewayIdNeverClashesWithAnIdFbbGaveToItsOwnMessage) {
  FbbInstance fbb(WithRules(RecommendedRules()));
  GatewayStation station(fbb.ImportDir());  // the demo counter: 100
  WriteBytes(fbb.ExportFile(), FbbExported("SERVER", "XX2DEF", 201, "NEWSLIST", {"please"}));
  WriteBytes(station.Inbox("0000000.MSG"),
             SoupMail("Jane Doe <jane@example.org>", "Not lost to a clash", {"x"}));
  PassAndImport(station, fbb);
  const std::vector<WrittenMessage> written = Written(station);
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(ExpectedRecord(written[1]).bid, "101-XX0BBS");
  const std::vector<FbbRecord> stored = fbb.ImportedMessages();
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].bid, "101_XX0BBS");
  EXPECT_EQ(stored[0].title, "*** SERVER MESSAGE ***");
  EXPECT_EQ(stored[1].bid, "101-XX0BBS");
  EXPECT_EQ(stored[1].title, "Not lost to a clash");
  EXPECT_TRUE(StoredAsWritten(written, stored, fbb));
}

}  // namespace
}  // namespace tidewire::interop
