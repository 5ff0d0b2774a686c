#include "outbound/export_message.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "support/temp_dir.h"

namespace tidewire::outbound {
namespace {

struct CutCase {
  const char* name;
  std::string_view line;
  std::string_view to_field;
  std::string_view sender;
};

void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

class HeaderCutting : public ::testing::TestWithParam<CutCase> {};

TEST_P(HeaderCutting, GivesAddresseeAndSender) {
  const CutCase& c = GetParam();
  const HeaderFields fields = CutHeaderLine(c.line);
  EXPECT_EQ(fields.ToField, c.to_field);
  EXPECT_EQ(fields.Sender, c.sender);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HeaderCutting,
    ::testing::Values(
        CutCase{"route_form", "SP INET @ INET < XX2DEF $2001_XX0BBS", "INET @ INET", "XX2DEF"},
        CutCase{"without_route", "SP INET < XX2DEF $2001_XX0BBS", "INET", "XX2DEF"},
        CutCase{"server_at_bbs", "SP SERVER @ XX0BBS < XX3GHI $7_XX0BBS", "SERVER @ XX0BBS",
                "XX3GHI"},
        CutCase{"internet_address_as_addressee", "SP john@example.com < XX2DEF $1_XX0BBS",
                "john@example.com", "XX2DEF"},
        CutCase{"long_route", "SB NEWS @ EU.WW < XX2DEF $2003_XX0BBS", "NEWS @ EU.WW", "XX2DEF"},
        // A missing blank ends the field at the end of the line.
        CutCase{"no_bid_after_route", "SP INET @ INET < XX2DEF", "INET @ INET", "XX2DEF"},
        CutCase{"no_bid_without_route", "SP INET < XX2DEF", "INET", "XX2DEF"},
        CutCase{"nothing_after_route", "SP INET @ INET", "INET @ INET", ""},
        CutCase{"route_without_blank", "SP INET @INET", "INET @INET", ""},
        CutCase{"sender_trailing_tab", "SP INET < XX2DEF\t", "INET", "XX2DEF"},
        CutCase{"no_sender_mark", "SP INET", "INET", ""}, CutCase{"empty_line", "", "", ""},
        CutCase{"at_first", "@", "", ""}, CutCase{"lt_first", "<", "", ""},
        CutCase{"lt_second", " < A", "", "A"}, CutCase{"only_type", "SP ", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TitleCleaning, ControlAndHighBytesBecomeBlanks) {
  EXPECT_EQ(CleanTitle("a\tb\x01"
                       "c\x7f"
                       "d\x80"
                       "e\xff"),
            "a b c\x7f"
            "d e ");
}

TEST(TitleCleaning, KeepsTheFirst79Characters) {
  const std::string title(100, 'x');
  EXPECT_EQ(CleanTitle(title), std::string(79, 'x'));
  EXPECT_EQ(CleanTitle(std::string(79, 'y')), std::string(79, 'y'));
  EXPECT_EQ(CleanTitle(""), "");
}

struct MarkerCase {
  const char* name;
  std::string_view line;
  std::optional<std::string_view> address;
};

void PrintTo(const MarkerCase& c, std::ostream* os) { *os << c.name; }

class MarkerLine : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(MarkerLine, GivesTheAddress) {
  const MarkerCase& c = GetParam();
  const auto address = AddressFromMarkerLine(c.line);
  ASSERT_EQ(address.has_value(), c.address.has_value());
  if (address) {
    EXPECT_EQ(*address, *c.address);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MarkerLine,
    ::testing::Values(MarkerCase{"upper", "#TO:john@example.com", "john@example.com"},
                      MarkerCase{"lower", "#to:john@example.com", "john@example.com"},
                      MarkerCase{"mixed", "#To:john@example.com", "john@example.com"},
                      MarkerCase{"leading_blank_stays", "#TO: john@example.com",
                                 " john@example.com"},
                      MarkerCase{"trailing_blanks_cut", "#TO:comp.lang.c  \t", "comp.lang.c"},
                      MarkerCase{"text_before", "please #TO:a@b.c", "a@b.c"},
                      MarkerCase{"second_marker_removed", "#TO:#TO:a@b.c", "a@b.c"},
                      MarkerCase{"only_one_removed", "#TO:x#TO:y#TO:z", "xy#TO:z"},
                      MarkerCase{"empty", "#TO:", ""}, MarkerCase{"no_marker", "To: a@b.c", {}},
                      MarkerCase{"incomplete", "#TO a@b.c", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EndLine, BeginsWithSlashEx) {
  EXPECT_TRUE(IsEndLine("/EX"));
  EXPECT_TRUE(IsEndLine("/EXIT"));
  EXPECT_FALSE(IsEndLine(" /EX"));
  EXPECT_FALSE(IsEndLine("/E"));
  EXPECT_TRUE(IsRouteLine("R:261208/0500Z"));
  EXPECT_FALSE(IsRouteLine(" R:"));
}

TEST(ReadPast, StopsAfterTheEndLineOrAtTheEndOfTheFile) {
  testing::TempDir dir;
  testing::WriteBytes(dir / "f", "a\r\n/EX\r\nnext\r\nb");
  TextReader reader(dir / "f");
  ReadPastMessage(reader);
  EXPECT_EQ(reader.ReadLine(), "next");
  ReadPastMessage(reader);
  EXPECT_TRUE(reader.AtEnd());
}

}  // namespace
}  // namespace tidewire::outbound
