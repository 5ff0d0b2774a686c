#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/errors.h"
#include "inbound/downloads.h"
#include "inbound/mail_conversion.h"
#include "inbound/news_conversion.h"
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
using tidewire::testing::TempDir;
using tidewire::testing::WriteBytes;

class ConversionTest : public ::testing::Test {
 protected:
  ConversionTest() {
    station_.clock = [] { return std::time_t{1796685337}; };
    GatewayConfig& c = station_.config;
    c.HRoute = "XX0BBS.#TST.DEU.EU";
    c.QTH = "Testcity";
    c.BBSCall = "XX0BBS";
    c.AT2 = "SB EMAIL @ WW";
    c.AT = "INET";
    c.InfoLine = "Info one";
    c.NewsDestinations = {"TECH", "NEWSGROUPLONG", "SP XX2DEF @ XX0BBS"};
    station_.users.Add({"XX2DEF", "XX0BBS", "Jane Doe", "jane@example.org"});
    station_.users.Add({"XX3GHI", "YY0BBS", "John Smith", "john@example.net"});
    station_.bid.Set(100);
  }

  void Put(std::string_view name, std::string_view bytes) { WriteBytes(dir_ / name, bytes); }

  std::vector<FbbMessage> Imported() {
    int dropped = 0;
    auto messages = ImportLikeFbb(ReadBytes(dir_ / "MAIL.IN"), dropped);
    EXPECT_EQ(dropped, 0);
    return messages;
  }

  std::vector<std::string> Headers() {
    std::vector<std::string> headers;
    for (const FbbMessage& m : Imported()) headers.push_back(m.header);
    return headers;
  }

  static bool BodyHas(const FbbMessage& m, std::string_view line) {
    for (const auto& l : m.body) {
      if (l == line) return true;
    }
    return false;
  }

  TempDir dir_;
  ScriptedOperator op_;
  Station station_{op_, dir_.path()};
};

std::string Mail(std::string_view headers, std::string_view body) {
  return "From POPmail Mon Dec  7 10:00:00 2026\n" + std::string(headers) + "\n\n" +
         std::string(body) + "\n";
}

// --- downloaded files

TEST_F(ConversionTest, NothingDownloadedStillLeavesAnEmptyMailIn) {
  ConvertDownloads(station_);
  EXPECT_EQ(ReadBytes(dir_ / "MAIL.IN"), "");
  EXPECT_TRUE(fs::exists(dir_ / "MAIL.IN"));
}

TEST_F(ConversionTest, ByteTwentySixInTheMailFileBecomesABlank) {
  Put("0000000.MSG", Mail("To: nobody@x\nSubject: one",
                          "a\x1a"
                          "b") +
                         Mail("To: nobody@x\nSubject: two", "last") + "\x1a");
  ConvertDownloads(station_);
  const auto messages = Imported();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_TRUE(BodyHas(messages[0], "a b"));
  EXPECT_EQ(messages[1].title, "two");
  EXPECT_TRUE(BodyHas(messages[1], " "));
}

TEST_F(ConversionTest, ByteTwentySixAsFirstByteSpoilsOnlyTheFirstSeparator) {
  Put("0000000.MSG", "\x1a" + Mail("To: x\nSubject: one", "b") + Mail("To: x\nSubject: two", "b"));
  ConvertDownloads(station_);
  const auto messages = Imported();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "two");
}

// A byte 26 in one article used to end the whole news file, and every later article was deleted
// unconverted; it is a blank now, as in the mail file.
TEST_F(ConversionTest, ByteTwentySixInANewsFileLosesNoArticle) {
  Put("0000001.MSG", "#! rnews 10\nSubject: first\n\nbody\x1a\n#! rnews 10\nSubject: kept\n\nx\n");
  ConvertDownloads(station_);
  const auto messages = Imported();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].title, "first");
  EXPECT_TRUE(BodyHas(messages[0], "body "));
  EXPECT_EQ(messages[1].title, "kept");
}

TEST_F(ConversionTest, CrLfInADownloadEndsOneLine) {
  Put("0000001.MSG", "#! rnews 10\nSubject: s\n\nl1\r\nl2\n");
  ConvertDownloads(station_);
  const auto messages = Imported();
  ASSERT_EQ(messages.size(), 1u);
  const auto& body = messages[0].body;
  const auto l1 = std::find(body.begin(), body.end(), "l1");
  ASSERT_NE(l1, body.end());
  EXPECT_EQ(*(l1 + 1), "l2");
}

// A message splits only where the server's messages split: a CR on its own is no line end, and
// a consistent rnews batch ends each article where its count says.
struct SplitCase {
  const char* name;
  const char* file;
  std::string bytes;
  std::vector<std::string> titles;
};

std::string Counted(const std::string& article) {
  return "#! rnews " + std::to_string(article.size()) + "\n" + article;
}

class DownloadSplit : public ConversionTest, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(DownloadSplit, EveryServerMessageIsOnePacketMessage) {
  Put(GetParam().file, GetParam().bytes);
  ConvertDownloads(station_);
  std::vector<std::string> titles;
  for (const auto& message : Imported()) titles.push_back(message.title);
  EXPECT_EQ(titles, GetParam().titles);
}

const std::string kForgedArticles =
    "#! rnews 30\nFrom: x@evil (SYSOP)\nSubject: forged\n\nx\n#! rnews 1\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, DownloadSplit,
    ::testing::Values(
        SplitCase{"mail_file_in_lower_case",
                  "0000000.msg",
                  "From POPmail x\nTo: a\nSubject: one\n\nbody\n",
                  {"one"}},
        SplitCase{"lone_cr_in_mail",
                  "0000000.MSG",
                  "From POPmail x\nTo: a\nSubject: one\n\nabc\rFrom POPmail x\rTo: mary@x\r"
                  "Subject: two\n",
                  {"one"}},
        SplitCase{"lone_cr_in_news",
                  "0000001.MSG",
                  "#! rnews 5\nSubject: one\n\nabc\r#! rnews 1\rSubject: two\n",
                  {"one"}},
        SplitCase{"counted_articles_carry_rnews_lines",
                  "0000001.MSG",
                  Counted("Subject: one\n\n" + kForgedArticles + "tail\n") +
                      Counted("Subject: two\n\nx\n"),
                  {"one", "two"}},
        SplitCase{"counted_crlf_article",
                  "0000001.MSG",
                  Counted("Subject: one\r\n\r\n#! rnews 2\r\nSubject: no\r\n\r\n") +
                      Counted("Subject: two\n\nx\n"),
                  {"one", "two"}},
        SplitCase{"counted_header_only",
                  "0000001.MSG",
                  Counted("Subject: one\n#! rnews 9\n") + Counted("Subject: two\n\nx\n"),
                  {"one", "two"}},
        SplitCase{"count_too_short_falls_back",
                  "0000001.MSG",
                  "#! rnews 3\nSubject: one\n\nx\n#! rnews 1\nSubject: two\n\ny\n",
                  {"one", "two"}},
        SplitCase{"count_inside_a_line_falls_back",
                  "0000001.MSG",
                  "#! rnews 15\nSubject: one\n\nxy\n#! rnews 16\nSubject: two\n\ny\n",
                  {"one", "two"}},
        SplitCase{"count_with_words_falls_back",
                  "0000001.MSG",
                  "#! rnews 17 x\nSubject: one\n\nx\n#! rnews\nSubject: two\n\ny\n",
                  {"one", "two"}},
        SplitCase{"count_past_the_end_falls_back",
                  "0000001.MSG",
                  "#! rnews 99\nSubject: one\n\nx\n",
                  {"one"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConversionTest, LowerCaseMailMsgIsANewsFileWithANumberWarning) {
  Put("mail.msg", "#! rnews 1\nSubject: odd\n\nx\n");
  Put("MAIL.MSG", "reply packet");
  Put("NEWS.MSG", "reply packet");
  op_.ExpectOk(BoxKind::kWarning, "Error in file : mail.ms.NEW (Filenumber conversion)");
  ConvertDownloads(station_);
  const auto messages = Imported();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].header.rfind("SB OTHER @ INET < ", 0), 0u);
  EXPECT_EQ(ReadBytes(dir_ / "MAIL.MSG"), "reply packet");
  EXPECT_EQ(ReadBytes(dir_ / "NEWS.MSG"), "reply packet");
  EXPECT_FALSE(fs::exists(dir_ / "mail.msg"));
}

TEST_F(ConversionTest, CleanUpRemovesTheFilesOfThePass) {
  Put("0000000.MSG", Mail("To: x@y\nSubject: s", "b"));
  Put("0000002.MSG", "#! rnews 1\nSubject: a\n\nb\n");
  Put("0000003.MSG", "");
  Put("REPLY.M01", "left by a reply packet");
  ConvertDownloads(station_);
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir_.path())) left.push_back(e.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"MAIL.IN"});
  EXPECT_EQ(Headers().size(), 2u);
  const auto& lines = op_.status_lines;
  EXPECT_NE(std::find(lines.begin(), lines.end(), " Deleting file: REPLY.M01"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), " Deleting file: 0000002.NEW"), lines.end());
}

TEST_F(ConversionTest, APassReportsEveryStep) {
  Put("0000000.MSG", Mail("To: x", "b"));
  Put("0000001.MSG", "#! rnews 1\nSubject: a\n\nb\n");
  ConvertDownloads(station_);
  EXPECT_EQ(
      op_.status_lines,
      (std::vector<std::string>{
          " Open file: 0000000.MSG", " Creating file: 0000000.TMP", " Deleting file: 0000000.MSG",
          " 0000000.TMP -> 0000000.MSG", " Deleting file: 0000000.TMP",
          " Reading file: 0000000.MSG", " Creating file: 0000000.NOW", " Reading file: 0000001.MSG",
          " Creating file: 0000001.NEW", " Creating file: MAIL.IN", " Reading file: 0000000.NOW",
          " Deleting file 0000000.NOW", " Deleting file WORKTXT.TMP", " Reading file: 0000001.NEW",
          " Deleting file: 0000001.NEW"}));
  EXPECT_EQ(op_.progress_label, "102");
}

TEST_F(ConversionTest, AFailedReadKeepsTheDownloadedFiles) {
  Put("0000001.MSG", "#! rnews 1\nSubject: a\n\nb\n");
  fs::create_directory(dir_ / "0000001.NEW");  // the working copy cannot be created
  EXPECT_THROW(ConvertDownloads(station_), IoError);
  EXPECT_TRUE(fs::exists(dir_ / "0000001.MSG"));
}

// --- e-mail

TEST_F(ConversionTest, MailToTwoUsersGivesTwoPersonalMessagesInTableOrder) {
  Put("0000000.MSG",
      Mail("Received: by x\nFrom: a@b\nTo: john@example.net, JANE@example.org\nSubject: hi",
           "hello"));
  ConvertDownloads(station_);
  EXPECT_EQ(Headers(), (std::vector<std::string>{"SP XX2DEF @ XX0BBS < INET $101-XX0BBS",
                                                 "SP XX3GHI @ YY0BBS < INET $102-XX0BBS"}));
  EXPECT_EQ(station_.counters.EmailToPacket, 2);
  const auto messages = Imported();
  EXPECT_EQ(messages[0].title, "hi");
  EXPECT_EQ(messages[0].body[0].rfind("R:261207/2315Z @:XX0BBS.#TST.DEU.EU #:101 [Testcity]", 0),
            0u);
  EXPECT_FALSE(BodyHas(messages[0], "Received: by x"));
  EXPECT_TRUE(BodyHas(messages[0], "From: a@b"));
  EXPECT_TRUE(BodyHas(messages[0], "hello"));
}

TEST_F(ConversionTest, UsersAreFoundThroughCcContinuationsAndRealNames) {
  Put("0000000.MSG", Mail("From: a@b\nCc: someone@x,\n Jane Doe <jd@elsewhere>\nSubject: s", "b") +
                         Mail("Apparently-To: JOHN SMITH", "b"));
  ConvertDownloads(station_);
  EXPECT_EQ(Headers(), (std::vector<std::string>{"SP XX2DEF @ XX0BBS < INET $101-XX0BBS",
                                                 "SP XX3GHI @ YY0BBS < INET $102-XX0BBS"}));
}

TEST_F(ConversionTest, NonPersonalMailGoesToTheLastMatchingListOrAt2) {
  station_.config.MailingListsLoaded = true;
  station_.config.MailingLists = {{"All", "*", "*", "*", "SB ALLML @ EU"},
                                  {"Ham", "", "*", "*", "SB NEVER @ EU"},
                                  {"Dx", "*", "dx-list@", "*", "SB DXML @ EU"}};
  Put("0000000.MSG", Mail("From: x\nTo: DX-List@example.com\nSubject: a", "b") +
                         Mail("From: x\nTo: other@example.com\nSubject: b", "b"));
  ConvertDownloads(station_);
  EXPECT_EQ(Headers(), (std::vector<std::string>{"SB DXML @ EU < INET $101-XX0BBS",
                                                 "SB ALLML @ EU < INET $102-XX0BBS"}));
  station_.config.MailingListsLoaded = false;
  Put("0000000.MSG", Mail("To: x", "b"));
  ConvertDownloads(station_);
  EXPECT_EQ(Headers().back(), "SB EMAIL @ WW < INET $103-XX0BBS");
}

TEST_F(ConversionTest, ShortMailHeadersReplaceTheHeaderBlock) {
  station_.config.ShortMailHeaders = true;
  Put("0000000.MSG", Mail("From: Ann <a@b>\nTo: john@example.net\nX-Other: y", "body line"));
  ConvertDownloads(station_);
  const auto messages = Imported();
  ASSERT_EQ(messages.size(), 1u);
  const std::vector<std::string> start(messages[0].body.begin() + 2, messages[0].body.begin() + 7);
  EXPECT_EQ(start, (std::vector<std::string>{"", "*** From: Ann <a@b>", "*** To: john@example.net",
                                             "", "body line"}));
}

TEST_F(ConversionTest, BodyLinesStillSelectUsersAndSplitAtSeparators) {
  Put("0000000.MSG",
      Mail("To: x@y", "quoted:\nTo: jane@example.org\nfrom popmail inside") + "To: z\n");
  ConvertDownloads(station_);
  EXPECT_EQ(Headers(), (std::vector<std::string>{"SP XX2DEF @ XX0BBS < INET $101-XX0BBS",
                                                 "SB EMAIL @ WW < INET $102-XX0BBS"}));
}

// An empty user table used to throw every fetched e-mail away.
TEST_F(ConversionTest, WithoutUsersMailGoesToTheGeneralAddress) {
  station_.users.Clear();
  Put("0000000.MSG", Mail("To: x", "b"));
  ConvertDownloads(station_);
  EXPECT_EQ(Headers(), (std::vector<std::string>{"SB EMAIL @ WW < INET $101-XX0BBS"}));
  EXPECT_FALSE(fs::exists(dir_ / "0000000.MSG"));
  EXPECT_FALSE(fs::exists(dir_ / "WORKTXT.TMP"));
}

// --- news

TEST(NewsSender, PseudoCallsFromFromLines) {
  EXPECT_EQ(NewsSender("From: jd@example.com (John Doe)"), "JohnDo");
  EXPECT_EQ(NewsSender("From: john.doe-x@example.com"), "johndo");
  EXPECT_EQ(NewsSender("From: a@b () (x)"), "abx");
  EXPECT_EQ(NewsSender("From: x) (y"), "xy");
  EXPECT_EQ(NewsSender("From: q (z)"), "z");
  EXPECT_EQ(NewsSender("From: ()"), "");
  EXPECT_EQ(NewsSender("From:"), "");
}

TEST_F(ConversionTest, ArticlesAreAddressedByTheirFileNumber) {
  Put("0000001.MSG", "#! rnews 1\nFrom: a@b (Ann Bee)\nSubject: one\nPath: p\n\nPath: body\nok\n");
  Put("0000002.MSG", "#! rnews 1\nSubject: two\n\nb\n");
  Put("0000003.MSG", "#! rnews 1\nFrom: ()\n\nb\n");
  Put("0000009.MSG", "junk before\n#! rnews 1\n\nb\n#! rnews 5\n");
  ConvertDownloads(station_);
  const auto messages = Imported();
  EXPECT_EQ(Headers(),
            (std::vector<std::string>{
                "SB TECH @ INET < AnnBee $101-XX0BBS", "SB NEWSGR @ INET < INET $102-XX0BBS",
                "SP XX2DEF @ XX0BBS < INET $103-XX0BBS", "SB OTHER @ INET < INET $104-XX0BBS"}));
  EXPECT_TRUE(BodyHas(messages[0], "Path: p"));
  EXPECT_FALSE(BodyHas(messages[0], "Path: body"));
  EXPECT_TRUE(BodyHas(messages[0], "ok"));
  EXPECT_EQ(station_.counters.InetToPacket, 4);
}

TEST_F(ConversionTest, SwapAndUniversalFromChangeAddressAndSender) {
  station_.config.SwapNewsAddress = true;
  station_.config.UniversalFrom = true;
  station_.config.ShortNewsHeaders = true;
  station_.config.AfterXMessage = 1;
  Put("twire.sim", "info text\r\n");
  Put("0000001.MSG", "#! rnews 1\nFrom: a@b (Ann)\nNewsgroups: comp.x\nSubject: s\n\nb\n");
  ConvertDownloads(station_);
  EXPECT_EQ(Headers(), (std::vector<std::string>{"SB INET @ TECH < INET $101-XX0BBS",
                                                 "SB INET @ INFO < SERVER $102-XX0BBS"}));
  const auto messages = Imported();
  EXPECT_EQ(messages[0].body[2], "** NEWSGROUP: comp.x");
  EXPECT_EQ(messages[0].body[3], "** FROM     : a@b (Ann)");
}

TEST_F(ConversionTest, InfoMessagesFollowEveryThirdArticleOverAllFiles) {
  station_.config.AfterXMessage = 3;
  Put("twire.sim", "");
  std::string four;
  for (int i = 0; i < 4; ++i) four += "#! rnews 1\nSubject: a\n\nb\n";
  Put("0000001.MSG", four);
  Put("0000002.MSG",
      "#! rnews 1\nSubject: a\n\nb\n#! rnews 1\nSubject: a\n\nb\n"
      "#! rnews 1\nSubject: a\n\nb\n");
  ConvertDownloads(station_);
  std::vector<int> info_positions;
  const auto messages = Imported();
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (messages[i].title == "*-* INFO Tidewire *-*") info_positions.push_back(static_cast<int>(i));
  }
  EXPECT_EQ(info_positions, (std::vector<int>{3, 7}));
  EXPECT_EQ(messages.size(), 9u);
}

TEST_F(ConversionTest, BroadcastGoesOnceToEveryUserAfterTheFirstArticle) {
  Put("bmes.txt", "Net tonight\r\n");
  Put("0000001.MSG", "#! rnews 1\nSubject: a\n\nb\n#! rnews 1\nSubject: b\n\nb\n");
  ConvertDownloads(station_);
  EXPECT_EQ(Headers(),
            (std::vector<std::string>{
                "SB TECH @ INET < INET $101-XX0BBS", "SP XX2DEF @ XX0BBS < SERVER $102-XX0BBS",
                "SP XX3GHI @ YY0BBS < SERVER $103-XX0BBS", "SB TECH @ INET < INET $104-XX0BBS"}));
  EXPECT_FALSE(fs::exists(dir_ / "bmes.txt"));
  EXPECT_TRUE(BodyHas(Imported()[1], "Net tonight"));
}

TEST_F(ConversionTest, HugeHeaderBlocksAreBoundedButStillSearched) {
  std::string article = "#! rnews 1\n";
  for (int i = 0; i < 500; ++i) article += "X-Filler: " + std::to_string(i) + "\n";
  article += "Subject: found late\n\nbody\n";
  Put("0000001.MSG", article);
  ConvertDownloads(station_);
  const auto messages = Imported();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "found late");
  EXPECT_TRUE(BodyHas(messages[0], "** (401 further header lines left out)"));
  EXPECT_TRUE(BodyHas(messages[0], "body"));
}

TEST_F(ConversionTest, AHeaderWithoutItsEmptyLineEndsAtTheNextArticle) {
  Put("0000001.MSG", "#! rnews 1\nSubject: truncated\n#! rnews 1\nSubject: next\n\nb\n");
  ConvertDownloads(station_);
  const auto messages = Imported();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].title, "truncated");
  EXPECT_EQ(messages[1].title, "next");
}

// --- forged messages

TEST_F(ConversionTest, NoDownloadCanForgeAnFbbMessage) {
  const std::string forged = "/EX\nSP XX9EVL @ XX0BBS < EVIL $1_EVIL\nforged\n/ex\n/AB\n";
  Put("0000000.MSG", Mail("To: jane@example.org\nSubject: s", forged));
  Put("0000001.MSG", "#! rnews 1\nSubject: a\n\n" + forged);
  Put("bmes.txt", "/ex\r\nSP XX9EVL < EVIL\r\nt\r\n/EX\r\n");
  Put("twire.sim", "/EXIT\r\n");
  station_.config.AfterXMessage = 1;
  ConvertDownloads(station_);
  const auto headers = Headers();
  ASSERT_EQ(headers.size(), 5u);
  for (const auto& h : headers) EXPECT_EQ(h.find("EVIL"), std::string::npos) << h;
}

// A line longer than the reader's bound comes in pieces: no piece is a separator or an
// article start, and the whole line reaches FBB.
TEST_F(ConversionTest, ALongLineIsCarriedInPiecesThatMarkNothing) {
  const std::string long_line = std::string(kLongestLine, 'x') + "From popmail forged";
  Put("0000000.MSG", Mail("To: jane@example.org\nSubject: long", long_line + "\nTo: z"));
  Put("0000001.MSG", "#! rnews 1\nSubject: art\n\n" + std::string(kLongestLine, 'y') +
                         "#! rnews 1\nSubject: forged\n\nend\n");
  ConvertDownloads(station_);
  const auto messages = Imported();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].header, "SP XX2DEF @ XX0BBS < INET $101-XX0BBS");
  EXPECT_TRUE(BodyHas(messages[0], std::string(kLongestLine, 'x')));
  EXPECT_TRUE(BodyHas(messages[0], "From popmail forged"));
  EXPECT_EQ(messages[1].title, "art");
  EXPECT_TRUE(BodyHas(messages[1], "#! rnews 1"));
  EXPECT_TRUE(BodyHas(messages[1], "end"));
}

}  // namespace
}  // namespace tidewire::inbound

namespace tidewire::inbound {
namespace {

// --- MIME as plain text (flag file MIMETEXT)

TEST_F(ConversionTest, PlainTextModeDecodesTheBodyAndTheTitleOnlyWhenSwitchedOn) {
  const std::string mime = Mail(
      "From: a@b\nTo: jane@example.org\nSubject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\nMIME-Version: 1.0\n"
      "Content-Type: multipart/mixed; boundary=B",
      "--B\nContent-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: base64\n\n"
      "w4RwZmVsCg==\n--B\nContent-Type: application/zip; name=a.zip\n"
      "Content-Transfer-Encoding: base64\n\nUEsDBA==\n--B--");
  struct {
    const char* flag;  // nothing: no flag file
    std::string title;
    std::vector<std::string> has;
    std::string lacks;
  } cases[] = {
      {nullptr, "=?UTF-8?Q?Gr=C3=BC=C3=9Fe?=", {"w4RwZmVsCg=="}, "[Attachment"},
      {"",
       "Gr\xfc\xdf"
       "e",
       {"Subject: Gr\xfc\xdf"
        "e",
        "\xc4pfel", "[Attachment: a.zip (application/zip, 4 bytes)]"},
       "w4RwZmVsCg=="},
      {"UTF-8\r\n",
       "Gr\xc3\xbc\xc3\x9f"
       "e",
       {"\xc3\x84pfel"},
       "UEsDBA=="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flag == nullptr ? "off" : c.flag);
    fs::remove(dir_ / "MIMETEXT");
    if (c.flag != nullptr) Put("MIMETEXT", c.flag);
    fs::remove(dir_ / "MAIL.IN");
    Put("0000000.MSG", mime);
    ConvertDownloads(station_);
    const auto messages = Imported();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, c.title);
    for (const std::string& line : c.has) EXPECT_TRUE(BodyHas(messages[0], line)) << line;
    EXPECT_FALSE(BodyHas(messages[0], c.lacks));
  }
}

// --- messages fetched twice

struct RepeatPass {
  std::time_t at;
  std::string mail;                 // 0000000.MSG
  std::string news1;                // 0000001.MSG (TECH)
  std::string news2;                // 0000002.MSG (NEWSGR)
  std::vector<std::string> titles;  // what reaches MAIL.IN
};

struct RepeatCase {
  const char* name;
  std::vector<RepeatPass> passes;
};

void PrintTo(const RepeatCase& c, std::ostream* os) { *os << c.name; }

class RepeatedMessages : public ConversionTest, public ::testing::WithParamInterface<RepeatCase> {};

// A message the client fetched a second time (a kill between writing the packet and the server
// forgetting it) goes to FBB once; one with no Message-ID, or past a week, is never held back.
TEST_P(RepeatedMessages, GoToFbbOnceByMessageId) {
  for (const RepeatPass& pass : GetParam().passes) {
    station_.clock = [at = pass.at] { return at; };
    if (!pass.mail.empty()) Put("0000000.MSG", pass.mail);
    if (!pass.news1.empty()) Put("0000001.MSG", pass.news1);
    if (!pass.news2.empty()) Put("0000002.MSG", pass.news2);
    std::filesystem::remove(dir_ / "MAIL.IN");
    ConvertDownloads(station_);
    std::vector<std::string> titles;
    for (const FbbMessage& m : Imported()) titles.push_back(m.title);
    EXPECT_EQ(titles, pass.titles);
  }
}

constexpr std::time_t kDay = 24 * 60 * 60;
constexpr std::time_t kT0 = 1796685337;

std::string IdMail(std::string_view id, std::string_view subject) {
  return Mail("From: a@b\nTo: jane@example.org\n" +
                  (id.empty() ? std::string() : "Message-ID: " + std::string(id) + "\n") +
                  "Subject: " + std::string(subject),
              "text\nMessage-ID: <body@x>");
}

std::string IdArticle(std::string_view id, std::string_view subject) {
  const std::string article = "From: a@b (Ann)\nmessage-id: " + std::string(id) +
                              "\nSubject: " + std::string(subject) + "\n\nbody\n";
  return "#! rnews " + std::to_string(article.size()) + "\n" + article;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RepeatedMessages,
    ::testing::Values(
        RepeatCase{"twice_in_one_fetch",
                   {{kT0, IdMail("<1@x>", "a") + IdMail("<1@x>", "a"), "", "", {"a"}}}},
        RepeatCase{"again_in_a_later_pass",
                   {{kT0, IdMail("<1@x>", "a"), "", "", {"a"}},
                    {kT0 + kDay, IdMail("<1@x>", "a") + IdMail("<2@x>", "b"), "", "", {"b"}}}},
        RepeatCase{"after_a_week_it_is_new",
                   {{kT0, IdMail("<1@x>", "a"), "", "", {"a"}},
                    {kT0 + 8 * kDay, IdMail("<1@x>", "a"), "", "", {"a"}}}},
        RepeatCase{
            "one_id_on_two_texts_is_two_messages",
            {{kT0, IdMail("<1@x>", "a") + IdMail("<1@x>", "other"), "", "", {"a", "other"}}}},
        RepeatCase{"no_message_id_is_never_a_repeat",
                   {{kT0, IdMail("", "a") + IdMail("", "b"), "", "", {"a", "b"}},
                    {kT0 + 1, IdMail("", "a"), "", "", {"a"}}}},
        RepeatCase{"an_id_in_the_body_is_no_id",
                   {{kT0, IdMail("", "a") + IdMail("<body@x>", "b"), "", "", {"a", "b"}}}},
        RepeatCase{"article_again_in_its_group",
                   {{kT0, "", IdArticle("<n@x>", "n") + IdArticle("<n@x>", "n"), "", {"n"}},
                    {kT0 + 1, "", IdArticle("<n@x>", "n"), "", {}}}},
        RepeatCase{"a_crosspost_reaches_each_destination",
                   {{kT0, "", IdArticle("<n@x>", "n"), IdArticle("<n@x>", "n"), {"n", "n"}}}},
        RepeatCase{"mail_and_article_of_one_id_are_apart",
                   {{kT0, IdMail("<n@x>", "m"), IdArticle("<n@x>", "n"), "", {"m", "n"}}}}),
    [](const auto& info) { return std::string(info.param.name); });

// A conversion cut short is converted again in full: its IDs count only once it is complete.
TEST_F(ConversionTest, AConversionCutShortHoldsNothingBack) {
  Put("0000000.MSG", IdMail("<1@x>", "a"));
  Put("CONVERT.MRK", "converting 0\r\n");
  Put("MSGID.JNL", std::to_string(kT0) + " mail <old@x>\r\nbroken line\r\n");
  ConvertDownloads(station_);
  ASSERT_EQ(Imported().size(), 1u);
  const std::string journal = ReadBytes(dir_ / "MSGID.JNL");
  EXPECT_TRUE(journal.starts_with(std::to_string(kT0) + " mail <1@x> ")) << journal;
  EXPECT_TRUE(journal.ends_with(std::to_string(kT0) + " mail <old@x>\r\n")) << journal;
  EXPECT_EQ(journal.find("broken"), std::string::npos);
}

}  // namespace
}  // namespace tidewire::inbound
