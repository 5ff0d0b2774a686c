#include "inbound/import_writer.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "base/errors.h"
#include "support/temp_dir.h"

namespace tidewire::inbound {
namespace {

using tidewire::testing::ReadBytes;
using tidewire::testing::TempDir;

// Writes one message whose body is the given lines and returns the file's bytes.
std::string MessageBytes(const TempDir& dir, std::string_view header, std::string_view title,
                         std::initializer_list<std::string_view> body) {
  const fs::path path = dir / "MAIL.IN";
  ImportWriter writer(TextWriter(path, TextWriter::Mode::kCreate));
  writer.WriteHeaderLine(header);
  writer.WriteTitleLine(title);
  for (std::string_view line : body) writer.WriteBodyLine(line);
  writer.WriteEnd();
  writer.Close();
  return ReadBytes(path);
}

std::string BodyBytes(const TempDir& dir, std::string_view line) {
  return MessageBytes(dir, "SP A", "T", {line});
}

struct GuardCase {
  const char* name;
  std::string_view body;
  std::string_view written;
};

class BodyCommandGuard : public ::testing::TestWithParam<GuardCase> {};

TEST_P(BodyCommandGuard, CommandLinesGetOneLeadingBlank) {
  TempDir dir;
  const GuardCase& c = GetParam();
  EXPECT_EQ(BodyBytes(dir, c.body), "SP A\r\nT\r\n" + std::string(c.written) + "\r\n/EX\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BodyCommandGuard,
    ::testing::Values(GuardCase{"end_upper", "/EX", " /EX"}, GuardCase{"end_lower", "/ex", " /ex"},
                      GuardCase{"end_word", "/Exit", " /Exit"},
                      GuardCase{"end_with_text", "/EX and more", " /EX and more"},
                      GuardCase{"end_with_tab", "/eX\t", " /eX\t"},
                      GuardCase{"abort_upper", "/AB", " /AB"},
                      GuardCase{"abort_word", "/abort", " /abort"},
                      GuardCase{"abort_mixed", "/aBc", " /aBc"},
                      GuardCase{"blank_before_end", " /EX", " /EX"},
                      GuardCase{"slash_a", "/A", "/A"}, GuardCase{"ack", "/ACK", " /ACK"},
                      GuardCase{"ack_lower", "/ac", " /ac"}, GuardCase{"ack_word", "/Acx", " /Acx"},
                      GuardCase{"slash_ax", "/AX", "/AX"}, GuardCase{"slash_e", "/E", "/E"},
                      GuardCase{"slash_only", "/", "/"}, GuardCase{"double_slash", "//EX", "//EX"},
                      GuardCase{"end_inside", "text /EX", "text /EX"}, GuardCase{"empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// FBB reads every line in 79-byte pieces and obeys a command at the start of any of them.
struct PieceCase {
  const char* name;
  std::string line;
  std::string written;
};

std::string Xs(std::size_t n) { return std::string(n, 'x'); }

class BodyPieceGuard : public ::testing::TestWithParam<PieceCase> {};

TEST_P(BodyPieceGuard, NoPieceFbbReadsStartsWithACommand) {
  TempDir dir;
  EXPECT_EQ(BodyBytes(dir, GetParam().line), "SP A\r\nT\r\n" + GetParam().written + "\r\n/EX\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BodyPieceGuard,
    ::testing::Values(PieceCase{"at_78", Xs(78) + "/EX", Xs(78) + "/EX"},
                      PieceCase{"at_79", Xs(79) + "/EX", Xs(79) + " /EX"},
                      PieceCase{"at_80", Xs(80) + "/ab", Xs(80) + "/ab"},
                      PieceCase{"at_158", Xs(158) + "/ABORT", Xs(158) + " /ABORT"},
                      PieceCase{"at_79_and_158_shifted", Xs(79) + "/EX" + Xs(75) + "/AC",
                                Xs(79) + " /EX" + Xs(75) + " /AC"},
                      PieceCase{"second_moves_off_by_the_first", Xs(79) + "/EX" + Xs(76) + "/EX",
                                Xs(79) + " /EX" + Xs(76) + "/EX"},
                      PieceCase{"start_and_79", "/EX" + Xs(76) + "/EX", " /EX" + Xs(76) + "/EX"},
                      PieceCase{"start_and_78", "/EX" + Xs(75) + "/EX", " /EX" + Xs(75) + " /EX"},
                      PieceCase{"nul_before_79", std::string(1, '\0') + Xs(78) + "/ex",
                                " " + Xs(78) + " /ex"},
                      PieceCase{"short_tail_at_79", Xs(79) + "/E", Xs(79) + "/E"},
                      PieceCase{"long_without_command", Xs(500), Xs(500)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImportWriterBytes, NulAndByte26BecomeBlanksInEveryLine) {
  TempDir dir;
  using namespace std::string_view_literals;
  EXPECT_EQ(MessageBytes(dir, "SP A\0B"sv,
                         "t\x1a"
                         "x"sv,
                         {"ab\0cd"sv, "end\x1a"sv, "\0/EX"sv}),
            "SP A B\r\nt x\r\nab cd\r\nend \r\n /EX\r\n/EX\r\n");
}

TEST(ImportWriterBytes, EmbeddedLineEndsSplitTheBodyLine) {
  TempDir dir;
  EXPECT_EQ(BodyBytes(dir, "text\n/EX"), "SP A\r\nT\r\ntext\r\n /EX\r\n/EX\r\n");
  EXPECT_EQ(BodyBytes(dir, "a\r\nb\rc\nd"), "SP A\r\nT\r\na\r\nb\r\nc\r\nd\r\n/EX\r\n");
  EXPECT_EQ(BodyBytes(dir, "a\n\n/ab"), "SP A\r\nT\r\na\r\n\r\n /ab\r\n/EX\r\n");
  EXPECT_EQ(BodyBytes(dir, "a\n"), "SP A\r\nT\r\na\r\n\r\n/EX\r\n");
  EXPECT_EQ(BodyBytes(dir, "\r\r\n"), "SP A\r\nT\r\n\r\n\r\n\r\n/EX\r\n");
}

TEST(ImportWriterBytes, LineEndsInHeaderAndTitleBecomeBlanks) {
  TempDir dir;
  EXPECT_EQ(MessageBytes(dir, "SP A\nSP B\r", "t\r\n/EX", {}), "SP A SP B \r\nt  /EX\r\n/EX\r\n");
}

struct TitleCase {
  const char* name;
  std::size_t length;
  std::size_t written;
};

class TitleLength : public ::testing::TestWithParam<TitleCase> {};

TEST_P(TitleLength, CutToSeventySevenCharacters) {
  TempDir dir;
  std::string title;
  for (std::size_t i = 0; i < GetParam().length; ++i)
    title.push_back(static_cast<char>('A' + i % 26));
  const std::string bytes = MessageBytes(dir, "SP A", title, {"body"});
  EXPECT_EQ(bytes, "SP A\r\n" + title.substr(0, GetParam().written) + "\r\nbody\r\n/EX\r\n");
}

INSTANTIATE_TEST_SUITE_P(Rows, TitleLength,
                         ::testing::Values(TitleCase{"len76", 76, 76}, TitleCase{"len77", 77, 77},
                                           TitleCase{"len78", 78, 77}, TitleCase{"len80", 80, 77},
                                           TitleCase{"empty", 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ImportWriterBytes, HeaderIsWrittenWhole) {
  TempDir dir;
  const std::string header = "SB " + std::string(120, 'X');
  EXPECT_EQ(MessageBytes(dir, header, "", {}), header + "\r\n\r\n/EX\r\n");
}

// FBB reads the rest of a header longer than a piece as the title, and the title as body.
TEST(ImportWriterBytes, AfterAHeaderLongerThanAPieceTheTitleIsGuardedLikeBody) {
  TempDir dir;
  const std::string header = "SB " + std::string(76, 'X');
  EXPECT_EQ(MessageBytes(dir, header + "/EX", "/EX", {}), header + " /EX\r\n /EX\r\n/EX\r\n");
  EXPECT_EQ(MessageBytes(dir, "SB A", "/EX", {}), "SB A\r\n/EX\r\n/EX\r\n");
}

TEST(ImportWriterOrder, CallsOutOfOrderAreRefused) {
  TempDir dir;
  ImportWriter writer(TextWriter(dir / "MAIL.IN", TextWriter::Mode::kCreate));
  EXPECT_THROW(writer.WriteTitleLine("t"), std::logic_error);
  EXPECT_THROW(writer.WriteBodyLine("b"), std::logic_error);
  EXPECT_THROW(writer.WriteEnd(), std::logic_error);
  writer.WriteHeaderLine("SP A");
  EXPECT_THROW(writer.WriteHeaderLine("SP B"), std::logic_error);
  EXPECT_THROW(writer.WriteBodyLine("b"), std::logic_error);
  writer.WriteTitleLine("t");
  EXPECT_THROW(writer.WriteTitleLine("t"), std::logic_error);
  writer.WriteEnd();
  EXPECT_EQ(writer.messages_written(), 1);
  writer.Close();
  EXPECT_EQ(ReadBytes(dir / "MAIL.IN"), "SP A\r\nt\r\n/EX\r\n");
}

TEST(ImportWriterAbandon, OpenBodyIsAbortedSoTheNextMessageSurvives) {
  TempDir dir;
  {
    ImportWriter writer(TextWriter(dir / "MAIL.IN", TextWriter::Mode::kCreate));
    writer.WriteHeaderLine("SP A");
    writer.WriteTitleLine("t");
    writer.WriteBodyLine("half");
  }
  EXPECT_EQ(ReadBytes(dir / "MAIL.IN"), "SP A\r\nt\r\nhalf\r\n/AB\r\n");
}

TEST(ImportWriterAbandon, HeaderOnlyGetsAnEmptyTitleBeforeTheAbort) {
  TempDir dir;
  {
    ImportWriter writer(TextWriter(dir / "MAIL.IN", TextWriter::Mode::kCreate));
    writer.WriteHeaderLine("SP A");
  }
  EXPECT_EQ(ReadBytes(dir / "MAIL.IN"), "SP A\r\n\r\n/AB\r\n");
}

TEST(ImportWriterAbandon, CloseInsideAMessageAbortsItAndComplains) {
  TempDir dir;
  ImportWriter writer(TextWriter(dir / "MAIL.IN", TextWriter::Mode::kCreate));
  writer.WriteHeaderLine("SP A");
  writer.WriteTitleLine("t");
  EXPECT_THROW(writer.Close(), std::logic_error);
  EXPECT_EQ(ReadBytes(dir / "MAIL.IN"), "SP A\r\nt\r\n/AB\r\n");
  EXPECT_EQ(writer.messages_written(), 0);
}

TEST(ImportWriterAbandon, MovedFromWriterWritesNothing) {
  TempDir dir;
  {
    ImportWriter first(TextWriter(dir / "MAIL.IN", TextWriter::Mode::kCreate));
    first.WriteHeaderLine("SP A");
    first.WriteTitleLine("t");
    ImportWriter second(std::move(first));
    second.WriteBodyLine("b");
    second.WriteEnd();
    second.Close();
  }
  EXPECT_EQ(ReadBytes(dir / "MAIL.IN"), "SP A\r\nt\r\nb\r\n/EX\r\n");
}

TEST(ImportWriterErrors, DiskFullIsRaisedOnClose) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ImportWriter writer(TextWriter("/dev/full", TextWriter::Mode::kAppend));
  writer.WriteHeaderLine("SP A");
  writer.WriteTitleLine("t");
  writer.WriteEnd();
  try {
    writer.Close();
    FAIL() << "no error";
  } catch (const IoError& e) {
    EXPECT_STREQ(e.what(), "Disk full");
  }
}

}  // namespace
}  // namespace tidewire::inbound
