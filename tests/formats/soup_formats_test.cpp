// Each SOUP format written and read back by the one library both programs use: the bytes that
// come back are the bytes that went in.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "formats/format_error.h"
#include "formats/soup_download.h"
#include "formats/soup_packet.h"

namespace tidewire::formats {
namespace {

TEST(ReplyPacket, FramesRoundTripAndBrokenFramesAreRefused) {
  const std::vector<std::string> messages = {"one\n", std::string(70000, 'x'), ""};
  for (const char type : {'b', 'B', 'u'}) {
    SCOPED_TRACE(type);
    const std::string bytes = JoinPacket(messages, type);
    EXPECT_EQ(SplitPacket(bytes, type), messages);
    EXPECT_EQ(JoinPacket(SplitPacket(bytes, type), type), bytes);
  }
  const std::pair<std::uint32_t, std::string> lengths[] = {
      {70000, std::string("\x00\x01\x11\x70", 4)},
      {0, std::string(4, '\0')},
      {0xFFFFFFFFu, std::string(4, '\xff')},
  };
  for (const auto& [length, bytes] : lengths) {
    EXPECT_EQ(LengthPrefix(length), bytes);
    EXPECT_EQ(PacketFraming(length, 'B'), bytes);
  }
  EXPECT_EQ(PacketFraming(12, 'u'), "#! rnews 12\n");
  const std::pair<std::string, char> broken[] = {
      {std::string("\x00\x00\x00\x09short", 9), 'b'},
      {std::string("\x00\x00", 2), 'B'},
      {"no rnews line\n", 'u'},
      {"#! rnews 50\nshort", 'u'},
  };
  for (const auto& [bytes, type] : broken)
    EXPECT_THROW((void)SplitPacket(bytes, type), FormatError);
}

TEST(Replies, LinesRoundTripAndUnsafeLinesAreRefused) {
  const std::string written = "MAIL\tmail\tb\nNEWS\tnews\tB\n";
  EXPECT_EQ(FormatReplies(ParseReplies(written)), written);
  EXPECT_EQ(ParseReplies("MAIL\tmail\tbn\nNEWS news B\n\n").size(), 2u);
  EXPECT_EQ(FormatReplies(ParseReplies("MAIL mail b\n")), "MAIL\tmail\tb\n");
  for (const char* line :
       {"MAIL\tmail\n", "../etc\tmail\tb\n", "MAIL\tfax\tb\n", "MAIL\tmail\tm\n"}) {
    EXPECT_THROW((void)ParseReplies(line), FormatError) << line;
  }
}

TEST(MailFile, TheSeparatorIsReadAsOneAndQuotedBodyLinesAreNot) {
  const std::string separator = MailboxSeparator(0);
  EXPECT_TRUE(separator.starts_with("From POPmail "));
  EXPECT_TRUE(separator.ends_with("\n"));
  EXPECT_TRUE(IsMailboxSeparator(separator));
  const struct {
    const char* line;
    bool separator;
    bool quoted;
  } rows[] = {
      {"From POPmail Thu Jan  1 00:00:00 1970", true, true},
      {"FROM POPMAIL x", true, true},
      {"from popmail", true, true},
      {"From someone@example.org", false, true},
      {">From POPmail", false, false},
      {"Fromage", false, false},
      {"", false, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(IsMailboxSeparator(row.line), row.separator) << row.line;
    EXPECT_EQ(NeedsQuoting(row.line), row.quoted) << row.line;
    // What the writer quotes is never read as a separator.
    EXPECT_FALSE(row.quoted && IsMailboxSeparator(std::string(">") + row.line));
  }
}

TEST(NewsBatch, CountLinesRoundTripAndOthersAreNone) {
  for (const std::uint64_t count : {0ULL, 1ULL, 123456789012345ULL}) {
    std::string line = RnewsLine(count);
    ASSERT_TRUE(line.ends_with("\n"));
    line.pop_back();
    EXPECT_EQ(RnewsCount(line), static_cast<std::int64_t>(count));
  }
  for (const char* line : {"#! rnews", "#! rnews ", "#! rnews 12 ", "#! rnews x", "#!rnews 1",
                           "#! rnews 1234567890123456"}) {
    EXPECT_FALSE(RnewsCount(line).has_value()) << line;
  }
}

}  // namespace
}  // namespace tidewire::formats
