#include "outbound/reply_packet.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/errors.h"
#include "formats/soup_packet.h"
#include "outbound/outbound_fixture.h"
#include "outbound/reply_file.h"

namespace tidewire::outbound {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDate = "Date: Tue, 8 Dec 2026 00:15:37 +0100\n";

std::string Mail(std::string_view sender, std::string_view address,
                 std::initializer_list<std::string_view> body) {
  std::vector<std::string> lines{"#TO:" + std::string(address)};
  for (std::string_view line : body) lines.emplace_back(line);
  std::string text = "SP INET @ INET < " + std::string(sender) + " $1_XX0BBS\r\nSubject here\r\n";
  for (const std::string& line : lines) text += line + "\r\n";
  return text + "/EX\r\n";
}

// The messages of a SOUP binary message file, split by their length prefixes.
std::vector<std::string> SplitPacket(const std::string& bytes) {
  std::vector<std::string> messages;
  std::size_t at = 0;
  while (at < bytes.size()) {
    EXPECT_GE(bytes.size() - at, 4u) << "cut length";
    if (bytes.size() - at < 4) break;
    std::uint32_t length = 0;
    for (int i = 0; i < 4; ++i) length = length << 8 | static_cast<unsigned char>(bytes[at + i]);
    at += 4;
    EXPECT_LE(length, bytes.size() - at) << "length beyond the file";
    messages.push_back(bytes.substr(at, length));
    at += length;
  }
  return messages;
}

class ReplyFiles : public OutboundTest {
 protected:
  // The header lines up to the empty line.
  std::vector<std::string> HeaderOf(std::string_view name) const {
    const std::string bytes = Work(name);
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t nl; (nl = bytes.find('\n', at)) != std::string::npos; at = nl + 1) {
      if (nl == at) break;
      lines.push_back(bytes.substr(at, nl - at));
    }
    return lines;
  }
};

TEST_F(ReplyFiles, MailHasTheFullHeaderSetWithLineFeedsOnly) {
  PutExport(Mail("XX2DEF", "john@example.com", {"line one", "", "line three"}));
  Run();
  const std::string bytes = Work("1.M01");
  EXPECT_EQ(bytes.find('\r'), std::string::npos);
  const std::size_t end = bytes.find("\n\n");
  ASSERT_NE(end, std::string::npos);
  const std::string header = bytes.substr(0, end + 2);
  const std::string first = header.substr(0, header.find('\n'));
  EXPECT_TRUE(IsMessageIdLine(first, "dora@tdwire")) << first;
  EXPECT_EQ(header.substr(header.find('\n') + 1),
            "Reply-To: \"Dora Example\" <dora@example.org>\n"
            "From: \"Dora Example\" <dora@example.org>\n"
            "To: john@example.com\n"
            "Subject: Subject here\n" +
                std::string(kDate) +
                "Organization: Brackwater Gateway Solutions\n"
                "X-Mailer: Tidewire V1.6 Beta by Varnel\n\n");
  EXPECT_EQ(bytes.substr(end + 2), "line one\n\nline three\n");
  EXPECT_EQ(Work("MAIL.MSG"),
            formats::LengthPrefix(static_cast<std::uint32_t>(bytes.size())) + bytes);
}

TEST_F(ReplyFiles, NewsGoesToNewsgroupsAndNewsMsg) {
  PutExport(Mail("XX2DEF", "comp.lang.c", {"text"}));
  Run();
  EXPECT_EQ(HeaderOf("1.M02")[3], "Newsgroups: comp.lang.c");
  EXPECT_FALSE(WorkHas("MAIL.MSG"));
  EXPECT_EQ(SplitPacket(Work("NEWS.MSG")), std::vector<std::string>{Work("1.M02")});
  EXPECT_EQ(Work("REPLIES"), "NEWS\tnews\tB\n");
}

TEST_F(ReplyFiles, CodeThreeTakesTheGatewayDomainAndAccount) {
  station_.config.ConfigurationCode = "3";
  station_.users[2].RemailerAccount = "";
  PutExport(Mail("XX3GHI", "a@b.c", {}));
  Run();
  const auto header = HeaderOf("1.M01");
  EXPECT_TRUE(IsMessageIdLine(header[0], "@example.net")) << header[0];
  EXPECT_EQ(header[1], "Reply-To: \"Gil Hall\" <gate@example.net>");
  EXPECT_EQ(header[2], "From: \"Gil Hall\" <gate@example.net>");
}

TEST_F(ReplyFiles, CodeTwoHidesTheUsersAccountInFromAndNamesItBelow) {
  station_.config.ConfigurationCode = "2";
  station_.config.ConfigurationCodeMode2 = true;
  PutExport(Mail("XX2DEF", "a@b.c", {"text"}));
  Run();
  const auto header = HeaderOf("1.M01");
  EXPECT_TRUE(IsMessageIdLine(header[0], "dora@tdwire"));
  EXPECT_EQ(header[1], "Reply-To: \"Dora Example\" <dora@example.org>");
  EXPECT_EQ(header[2], "From: \"Dora Example\" <seereplyto@example.net>");
  const std::string bytes = Work("1.M01");
  EXPECT_TRUE(bytes.ends_with("\n\ntext\n\n\nPlease send email to: dora@example.org\n")) << bytes;
}

TEST_F(ReplyFiles, UserWithoutAccountUnderCodeOne) {
  station_.users[1].RemailerAccount = "";
  station_.config.EmailAccount = "gateway-without-domain";
  PutExport(Mail("XX2DEF", "a@b.c", {}));
  Run();
  const auto header = HeaderOf("1.M01");
  EXPECT_TRUE(IsMessageIdLine(header[0], "@tdwire"));
  EXPECT_EQ(header[1], "Reply-To: \"Dora Example\" <gateway-without-domain>");
  EXPECT_EQ(header[2], "From: \"Dora Example\" <seereplyto@gateway-without-domain>");
}

TEST_F(ReplyFiles, BodyIsCopiedByteForByte) {
  PutExport(Mail("XX2DEF", "a@b.c",
                 {"Gr\xfc\xdf"
                  "e\tTab",
                  "lone\nfeed", " /EX stays", "From x"}));
  Run();
  const std::string bytes = Work("1.M01");
  EXPECT_TRUE(
      bytes.ends_with("\n\nGr\xfc\xdf"
                      "e\tTab\nlone\nfeed\n /EX stays\nFrom x\n"));
}

TEST_F(ReplyFiles, HeaderValuesCannotStartAFurtherHeaderLine) {
  station_.users[1].RealName = "Dora \"D\" \\ Example\nBcc: x@y.z";
  PutExport(Mail("XX2DEF", "a@b.c\nBcc: victim@example.org", {}));
  Run();
  const auto header = HeaderOf("1.M01");
  ASSERT_EQ(header.size(), 8u);
  EXPECT_EQ(header[2], "From: \"Dora \\\"D\\\" \\\\ Example Bcc: x@y.z\" <dora@example.org>");
  EXPECT_EQ(header[3], "To: a@b.c Bcc: victim@example.org");
}

TEST_F(ReplyFiles, NameWithEightBitBytesIsEncoded) {
  EXPECT_EQ(DisplayName("J\xfcrgen M\xfcller"), "=?ISO-8859-1?Q?J=FCrgen_M=FCller?=");
  EXPECT_EQ(DisplayName("a=b?c_d"), "\"a=b?c_d\"");
  const std::string long_name = std::string(40, 'x') + "\xe9" + std::string(40, 'y');
  const std::string encoded = DisplayName(long_name);
  for (std::size_t at = 0, end; at < encoded.size(); at = end + 1) {
    end = encoded.find(' ', at);
    if (end == std::string::npos) end = encoded.size();
    EXPECT_LE(end - at, 75u);
  }
  EXPECT_NE(encoded.find(' '), std::string::npos);
}

TEST_F(ReplyFiles, ThreeMessagesMakeTheWholePacket) {
  PutExport(Mail("XX2DEF", "a@b.c", {"one"}) + Mail("XX3GHI", "comp.x", {"two"}) +
            Mail("XX2DEF", "d@e.f", {"three"}));
  Run();
  const std::string one = Work("1.M01"), two = Work("2.M02"), three = Work("3.M01");
  EXPECT_EQ(SplitPacket(Work("MAIL.MSG")), (std::vector<std::string>{one, three}));
  EXPECT_EQ(SplitPacket(Work("NEWS.MSG")), std::vector<std::string>{two});
  EXPECT_EQ(Work("REPLIES"), "MAIL\tmail\tb\nNEWS\tnews\tB\n");
  EXPECT_FALSE(WorkHas("INDEX"));
  EXPECT_EQ(station_.counters.PacketToInternet, 3);
}

TEST_F(ReplyFiles, IndexListsEachFileWithItsSize) {
  ExportMessage message;
  // Stop before packing, which consumes INDEX: write the files through the writer itself.
  ReplyFileWriter writer(station_, ids_);
  testing::WriteBytes(dir_ / "body", "body\r\n/EX\r\nnext\r\n");
  TextReader body(dir_ / "body");
  station_.CurrentUser = 1;
  message.ToField = "a@b.c";
  writer.WriteMessage(message, body);
  message.ToField = "comp.x";
  writer.WriteMessage(message, body);
  writer.CloseIndex();
  EXPECT_EQ(Work("INDEX"), "1.M01\r\n" + std::to_string(Work("1.M01").size()) + "\r\n2.M02\r\n" +
                               std::to_string(Work("2.M02").size()) + "\r\n");
  EXPECT_TRUE(Work("2.M02").ends_with("\n\nnext\n"));
}

TEST_F(ReplyFiles, NumberingStartsAgainInEveryPassAndReplacesOldFiles) {
  Put("1.M01", std::string(10000, 'o'));
  PutExport(Mail("XX2DEF", "a@b.c", {"first"}));
  Run();
  PutExport(Mail("XX2DEF", "a@b.c", {"second"}));
  SendPacket();
  Run();
  EXPECT_TRUE(Work("1.M01").ends_with("\n\nsecond\n"));
  EXPECT_EQ(SplitPacket(Work("MAIL.MSG")).size(), 1u);
}

TEST_F(ReplyFiles, MessageOf70000BytesHasItsLengthInFront) {
  const std::string header_probe = ExportText("SP INET < XX2DEF $1", "Subject here", {"#TO:a@b.c"});
  PutExport(header_probe);
  Run();
  const std::size_t header_size = Work("1.M01").size();
  const std::string line(70000 - header_size - 1, 'x');
  PutExport(Mail("XX2DEF", "a@b.c", {line}));
  SendPacket();
  Run();
  ASSERT_EQ(Work("1.M01").size(), 70000u);
  EXPECT_EQ(Work("MAIL.MSG").substr(0, 4), std::string("\x00\x01\x11\x70", 4));
  EXPECT_EQ(Work("MAIL.MSG").size(), 70004u);
}

TEST_F(ReplyFiles, PackingStopsWhenAListedFileIsShorterThanItsSize) {
  Put("1.M01", "abc");
  Put("INDEX", "1.M01\r\n10\r\n");
  EXPECT_THROW(PackReplyFiles(station_.work_dir, op_), IoError);
  Put("INDEX", "1.M01\r\nten\r\n");
  try {
    PackReplyFiles(station_.work_dir, op_);
    ADD_FAILURE();
  } catch (const IoError& e) {
    EXPECT_STREQ(e.what(), "Invalid numeric input");
  }
}

// A pass stopped after FBB's messages were taken (the export file emptied) or before its packet
// was announced: the next pass sends those messages too, ahead of its own, and none twice.
TEST_F(ReplyFiles, MessagesOfAPassStoppedAfterTakingThemGoWithTheNextPacket) {
  PutExport(Mail("XX2DEF", "a@b.c", {"first"}) + Mail("XX2DEF", "comp.x", {"article"}));
  fs::create_directory(work_ / "MAIL.MSG.tmp");  // the packet cannot be written
  EXPECT_THROW(Run(), IoError);
  EXPECT_EQ(ExportBytes(), "");
  EXPECT_TRUE(WorkHas("INDEX.OUT"));
  fs::remove(work_ / "MAIL.MSG.tmp");
  PutExport(Mail("XX2DEF", "a@b.c", {"second"}));
  Run();
  const std::vector<std::string> mail = SplitPacket(Work("MAIL.MSG"));
  ASSERT_EQ(mail.size(), 2u);
  EXPECT_TRUE(mail[0].ends_with("\n\nfirst\n"));
  EXPECT_TRUE(mail[1].ends_with("\n\nsecond\n"));
  EXPECT_EQ(SplitPacket(Work("NEWS.MSG")).size(), 1u);
  EXPECT_EQ(Work("REPLIES"), "MAIL\tmail\tb\nNEWS\tnews\tB\n");
  EXPECT_FALSE(WorkHas("INDEX.OUT"));
  // A packet left without its REPLIES keeps its messages in front of the next pass's.
  fs::remove(work_ / "REPLIES");
  PutExport(Mail("XX2DEF", "a@b.c", {"third"}));
  Run();
  EXPECT_EQ(SplitPacket(Work("MAIL.MSG")).size(), 3u);
  // No export file at all: the taken messages are still packed and announced.
  SendPacket();
  Put("1.M01", "kept");
  Put("INDEX.OUT", "1.M01\r\n4\r\n");
  fs::remove(ExportPath());
  Run();
  EXPECT_EQ(Work("MAIL.MSG"), formats::LengthPrefix(4) + "kept");
  EXPECT_EQ(Work("REPLIES"), "MAIL\tmail\tb\n");
}

TEST_F(ReplyFiles, RepliesStepWithoutPacketFilesWritesNothing) {
  WriteRepliesFile(station_.work_dir);
  EXPECT_FALSE(WorkHas("REPLIES"));
  Put("MAIL.MSG", "x");
  WriteRepliesFile(station_.work_dir);
  EXPECT_EQ(Work("REPLIES"), "MAIL\tmail\tb\n");
}

}  // namespace
}  // namespace tidewire::outbound
