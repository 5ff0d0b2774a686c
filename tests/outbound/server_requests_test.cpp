#include "outbound/server_requests.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "outbound/outbound_fixture.h"

namespace tidewire::outbound {
namespace {

using testing::FbbMessage;

constexpr std::string_view kOddBanner =
    "** Tidewire V1.6 Beta  INTERNET <-> PACKET Radio Gateway by Varnel **";
constexpr std::string_view kEvenBanner =
    "** Tidewire V1.6 Beta  INTERNET <-> PACKET Radio Gateway by QX1VZP **";

struct TitleCase {
  const char* name;
  std::string_view title;
  ServerRequests wanted;
};

void PrintTo(const TitleCase& c, std::ostream* os) { *os << c.name; }

class RequestWords : public ::testing::TestWithParam<TitleCase> {};

TEST_P(RequestWords, AreFoundInTheirListedForms) {
  EXPECT_TRUE(RequestsInTitle(GetParam().title) == GetParam().wanted);
}

// Fields: user info, broadcast, newsgroup list, manual, help.
INSTANTIATE_TEST_SUITE_P(
    Rows, RequestWords,
    ::testing::Values(
        TitleCase{"userinfo_lower", "userinfo", {true, false, false, false, false}},
        TitleCase{"userinfo_capital", "my Userinfo please", {true, false, false, false, false}},
        TitleCase{"userinfo_upper_with_help", "USERINFO HELP", {true, false, false, false, false}},
        TitleCase{"help_and_question_mark", "help?", {false, false, false, false, true}},
        TitleCase{"info_alone", "INFO", {false, false, false, false, true}},
        TitleCase{"newslist_and_manual", "NEWSLIST MANUAL", {false, false, true, true, false}},
        TitleCase{"broadcast_camel", "BroadCast", {false, true, false, false, false}},
        TitleCase{"other_case_newslist", "NewsList", {false, false, false, false, false}},
        TitleCase{"other_case_help", "Help", {false, false, false, false, false}},
        TitleCase{"manual_capital", "Manual", {false, false, false, true, false}},
        TitleCase{
            "everything", "USERINFO broadcast Newslist manual", {true, true, true, true, false}},
        TitleCase{"nothing", "hello", {false, false, false, false, false}}),
    [](const auto& info) { return std::string(info.param.name); });

class ServerRequestsTest : public OutboundTest {
 protected:
  void Request(std::string_view sender, std::string_view title,
               std::initializer_list<std::string_view> body = {}) {
    PutExport(
        ExportText("SP SERVER @ XX0BBS < " + std::string(sender) + " $9_XX0BBS", title, body));
    Run();
  }
};

TEST_F(ServerRequestsTest, UserInfoReplyBytes) {
  Request("XX2DEF", "userinfo");
  EXPECT_EQ(Work("MAIL.IN"),
            "SP XX2DEF @ XX0BBS < TDWIRE\r\n*** SERVER MESSAGE ***\r\n\r\n"
            "Your USERINFO for the Tidewire:\r\n\r\n"
            "PacketCall ..... :XX2DEF\r\nHomeBBS ........ :XX0BBS\r\n"
            "Real name ...... :Dora Example\r\nRemailer account :dora@example.org\r\n"
            "\r\n\r\n\r\nInfo one\r\n" +
                std::string(kOddBanner) + "\r\n/EX\r\n");
  EXPECT_EQ(station_.counters.ServerMessages, 1);
}

TEST_F(ServerRequestsTest, ReplyGoesToTheCallAsTheHeaderSpeltIt) {
  Request("xx2def", "Userinfo");
  const auto messages = MailIn();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].header, "SP xx2def @ XX0BBS < TDWIRE");
  EXPECT_EQ(messages[0].body[3], "PacketCall ..... :XX2DEF");
}

TEST_F(ServerRequestsTest, UserInfoWinsOverInfo) {
  Request("XX2DEF", "userinfo and INFO");
  ASSERT_EQ(MailIn().size(), 1u);
  EXPECT_EQ(MailIn()[0].body[1], "Your USERINFO for the Tidewire:");
}

TEST_F(ServerRequestsTest, TwoRequestsGiveTwoRepliesInTableOrder) {
  Request("XX2DEF", "MANUAL NEWSLIST");
  const auto messages = MailIn();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].body[1], "Currently the next newsgroups a converted to Packet:");
  EXPECT_EQ(messages[1].body[1], "Your request for the Tidewire manual:");
  EXPECT_EQ(station_.counters.ServerMessages, 2);
}

TEST_F(ServerRequestsTest, HelpAndQuestionMarkGiveOneReply) {
  Put("INFO.TDW", "Line A\r\nLine B\r\n");
  Request("XX2DEF", "help ?");
  const auto messages = MailIn();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].body,
            (std::vector<std::string>{"", "Your info/help-request:", "", "Line A", "Line B", ""}));
}

TEST_F(ServerRequestsTest, MissingFilesAreNamedInTheReply) {
  Request("XX2DEF", "manual help NEWSLIST");
  const auto messages = MailIn();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].body[3], "ERROR: Newsgroup-configfile (.NEWSRC) not found!");
  EXPECT_EQ(messages[0].body[4], "       Please inform your Tidewire provider");
  EXPECT_EQ(messages[1].body,
            (std::vector<std::string>{"", "Your request for the Tidewire manual:", "",
                                      "ERROR: Tidewire Manual (TWIRE.MAN) not found!",
                                      "       Please inform your Tidewire provider", ""}));
  EXPECT_EQ(messages[2].body[3], "ERROR: Tidewire INFO-File (INFO.TDW) not found!");
}

TEST_F(ServerRequestsTest, ManualLinesThatLookLikeCommandsStayText) {
  Put("TWIRE.MAN", "Chapter 1\r\n/EX is how a message ends\r\n");
  Request("XX2DEF", "manual");
  const auto messages = MailIn();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].body[4], " /EX is how a message ends");
}

TEST_F(ServerRequestsTest, NewsListWithNewsrcAndMailingLists) {
  Put(".NEWSRC", "comp.lang.c:\r\nrec.radio.amateur:\r\n");
  station_.config.MailingLists = {{"Hamradio list", "", "", "", "SB HAM@WW"},
                                  {"DX list", "", "", "", "SB DX@WW"}};
  station_.bid.Set(8);
  Request("XX3GHI", "newslist");
  ASSERT_EQ(MailIn().size(), 1u);
  EXPECT_EQ(MailIn()[0].header, "SP XX3GHI @ YY0BBS < TDWIRE");
  EXPECT_EQ(MailIn()[0].body,
            (std::vector<std::string>{
                "", "Currently the next newsgroups a converted to Packet:", "",
                "comp.lang.c:", "rec.radio.amateur:", "", "",
                " Available mailinglists (optional) Send a message to your tideWire",
                " sysop if you want to subscribe to any.", "", "  Hamradio list", "  DX list", "",
                "", "", "Info two", std::string(kEvenBanner)}));
}

TEST_F(ServerRequestsTest, EmptyNewsrcGivesOneEmptyLine) {
  Put(".NEWSRC", "");
  Request("XX2DEF", "newslist");
  const auto messages = MailIn();
  ASSERT_FALSE(messages.empty());
  const auto& body = messages[0].body;
  EXPECT_EQ(std::vector<std::string>(body.begin() + 3, body.begin() + 7),
            (std::vector<std::string>{"", "", "",
                                      " Available mailinglists (optional) Send a "
                                      "message to your tideWire"}));
}

TEST_F(ServerRequestsTest, BlankInfoLine2GivesInfoLineOnEvenCounts) {
  station_.config.InfoLine2 = "   ";
  station_.bid.Set(10);
  Request("XX2DEF", "userinfo");
  const auto messages = MailIn();
  ASSERT_FALSE(messages.empty());
  const auto& body = messages[0].body;
  EXPECT_EQ(body[body.size() - 2], "Info one");
  EXPECT_EQ(body.back(), kEvenBanner);
}

TEST_F(ServerRequestsTest, EmptyInfoLineIsStillALine) {
  station_.config.InfoLine = "";
  Request("XX2DEF", "userinfo");
  const auto messages = MailIn();
  ASSERT_FALSE(messages.empty());
  const auto& body = messages[0].body;
  EXPECT_EQ(body[body.size() - 2], "");
  EXPECT_EQ(body.size(), 12u);
}

TEST_F(ServerRequestsTest, BroadcastStoresTheBodyAndTheNextMessageIsReadNormally) {
  Put("bmes.txt", "earlier\r\n");
  PutExport(ExportText("SP SERVER < XX3GHI $1", "broadcast", {"Net tonight", "at 20:00"}) +
            ExportText("SP SERVER < XX2DEF $2", "userinfo", {}));
  Run();
  EXPECT_EQ(Work("bmes.txt"), "earlier\r\n\r\nSENDER : XX3GHI @ YY0BBS\r\n" + std::string(58, '-') +
                                  "\r\n\r\nNet tonight\r\nat 20:00\r\n");
  const auto messages = MailIn();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].header, "SP XX2DEF @ XX0BBS < TDWIRE");
  EXPECT_EQ(station_.counters.ServerMessages, 2);
}

TEST_F(ServerRequestsTest, BroadcastCreatesTheFile) {
  Request("XX2DEF", "BROADCAST");
  EXPECT_EQ(Work("bmes.txt"),
            "\r\nSENDER : XX2DEF @ XX0BBS\r\n" + std::string(58, '-') + "\r\n\r\n");
  EXPECT_FALSE(WorkHas("MAIL.IN"));
}

TEST_F(ServerRequestsTest, UnknownWordIsDroppedAndTheNextMessageIsRead) {
  PutExport(ExportText("SP SERVER < XX2DEF $1", "NewsList", {"body", "more"}) +
            ExportText("SP SERVER < XX2DEF $2", "manual", {}));
  Run();
  ASSERT_EQ(MailIn().size(), 1u);
  EXPECT_EQ(station_.counters.ServerMessages, 1);
}

TEST_F(ServerRequestsTest, FoundUserIsShownUnlessAutoGo) {
  station_.AutoGoMode = false;
  op_.ExpectOk(BoxKind::kInformation, "found valid user with SERVER-message");
  Request("XX2DEF", "nothing");
  op_.VerifyAllShown();
}

TEST_F(ServerRequestsTest, UnregisteredCallerGetsOnlyTheRejection) {
  // The first message makes Dora the current user; nothing of hers may reach the stranger.
  PutExport(ExportText("SP SERVER < XX2DEF $1", "nothing", {}) +
            ExportText("SP SERVER < XX9ZZZ $2", "userinfo broadcast NEWSLIST manual", {"text"}) +
            ExportText("SP SERVER < XX8YYY $3", "MLIST: help", {}) +
            ExportText("SP SERVER <", "help", {}));
  Run();
  const auto messages = MailIn();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].header, "SP XX9ZZZ < TDWIRE");
  EXPECT_EQ(messages[0].title, "*** DELIVERY ERROR ***");
  EXPECT_EQ(Work("MAIL.IN").find("dora"), std::string::npos);
  EXPECT_EQ(Work("MAIL.IN").find("XX0BBS"), std::string::npos);
  EXPECT_FALSE(WorkHas("bmes.txt"));
  EXPECT_EQ(station_.counters.ServerMessages, 0);
  EXPECT_EQ(station_.CurrentUser, 1);
}

}  // namespace
}  // namespace tidewire::outbound
