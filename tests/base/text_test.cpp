#include "base/text.h"

#include <gtest/gtest.h>

namespace tidewire {
namespace {

TEST(TrimTrailing, RemovesBlanksControlsAndBytesAboveZ) {
  EXPECT_EQ(TrimTrailing("INET  \t\r"), "INET");
  EXPECT_EQ(TrimTrailing("news{"), "news");
  EXPECT_EQ(TrimTrailing("a|}~\x7f\xe9"), "a");
  EXPECT_EQ(TrimTrailing("   "), "");
  EXPECT_EQ(TrimTrailing(""), "");
  EXPECT_EQ(TrimTrailing("  lead kept"), "  lead kept");
  EXPECT_TRUE(IsBlank(" \t{}"));
  EXPECT_FALSE(IsBlank(" x "));
}

TEST(UpperCopy, ChangesOnlyAsciiLetters) {
  EXPECT_EQ(UpperCopy("sb email@area"), "SB EMAIL@AREA");
  EXPECT_EQ(UpperCopy("gr\xfc\xdf"
                      "e \xc3\xa9"),
            "GR\xfc\xdf"
            "E \xc3\xa9");
}

TEST(LeftCopy, CutsOrKeeps) {
  EXPECT_EQ(LeftCopy("NEWSGROUP", 6), "NEWSGR");
  EXPECT_EQ(LeftCopy("AB", 6), "AB");
}

struct NumberCase {
  const char* name;
  const char* text;
  std::optional<std::int32_t> strict;
  std::int32_t leading;
};

class DecimalTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(DecimalTest, StrictAndLeadingDigits) {
  const NumberCase& c = GetParam();
  EXPECT_EQ(ParseDecimal(c.text), c.strict);
  EXPECT_EQ(LeadingDigitsValue(c.text), c.leading);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DecimalTest,
    ::testing::Values(
        NumberCase{"plain", "30", 30, 30}, NumberCase{"leading_blanks", "  77", 77, 77},
        NumberCase{"trailing_letter", "3x", std::nullopt, 3},
        NumberCase{"count_2x", "2x", std::nullopt, 2}, NumberCase{"empty", "", std::nullopt, 0},
        NumberCase{"blanks_only", "   ", std::nullopt, 0},
        NumberCase{"trailing_blank", "5 ", std::nullopt, 5},
        NumberCase{"negative", "-12", -12, -12}, NumberCase{"letters", "abc", std::nullopt, 0},
        NumberCase{"int_max", "2147483647", 2147483647, 2147483647},
        NumberCase{"overflow", "2147483648", std::nullopt, 214748364},
        NumberCase{"int_min", "-2147483648", std::numeric_limits<std::int32_t>::min(), -214748364}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FlagLine, TrueUnlessACapitalF) {
  EXPECT_TRUE(FlagLineIsTrue(""));
  EXPECT_TRUE(FlagLineIsTrue("TRUE"));
  EXPECT_TRUE(FlagLineIsTrue("false"));
  EXPECT_FALSE(FlagLineIsTrue("FALSE"));
  EXPECT_FALSE(FlagLineIsTrue("OFF"));
}

TEST(CaseInsensitive, ComparesAsciiLettersOnly) {
  EXPECT_TRUE(EqualsIgnoringCase("twire.cfg", "TWIRE.CFG"));
  EXPECT_FALSE(EqualsIgnoringCase("\xe9", "\xc9"));
  EXPECT_LT(CompareIgnoringCase("abc", "ABD"), 0);
  EXPECT_LT(CompareIgnoringCase("ab", "ABC"), 0);
  EXPECT_TRUE(ContainsIgnoringCase("sb email@area", "SB "));
}

}  // namespace
}  // namespace tidewire
