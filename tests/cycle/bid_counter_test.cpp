#include "cycle/bid_counter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/errors.h"
#include "support/scripted_operator.h"
#include "support/station_fixture.h"
#include "support/temp_dir.h"

namespace tidewire::cycle {
namespace {

using tidewire::testing::ReadBytes;
using tidewire::testing::ScriptedOperator;
using tidewire::testing::TempDir;
using tidewire::testing::WriteBytes;

const std::vector<std::string> kFirstRunWarning = {
    "WARNING: Oh boy, I hope you are running", "this version for the first time!",
    "Could not find TWIREBID.BIN to determen", "the last BID (Bulletin-ID)",
    "Contact QX1VZP @ QX3VZP for questions."};

const std::vector<std::string> kRefusalHints = {
    "You can do 3 things:", " 1 Start FBB and look for the last BID used by FBB",
    "   Look also in TWIRE.LOG for last BID in a previous session.",
    " 2 Use K@ INET to delete all INTERNET mail so you can start from BID 1_<name BBS>",
    "   Do you want to type in a BID number now?  (y/n)"};

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class BidCounterTest : public tidewire::testing::StationTest {
 protected:
  std::filesystem::path BidFile() const { return dir_ / "TWIREBID.BIN"; }

  // Expects the "Create?" box and answers it.
  void ExpectCreateBox(Answer answer) {
    op_.ExpectBox(BoxKind::kConfirmation, Buttons::kYesNo,
                  "Cannot find the file TWIREBID.BIN\rCreate?", answer);
  }

  // Runs the first-run dialogue to its refusal and checks that it ends the program.
  void ExpectProgramHalts() {
    try {
      LoadBidCounter(dir_.path(), station_.bid, op_);
      FAIL() << "the program must end";
    } catch (const EndProgram& end) {
      EXPECT_EQ(end.reason, EndProgram::Reason::kBidCounterRefused);
    }
    ASSERT_FALSE(op_.status_lines.empty());
    EXPECT_EQ(op_.status_lines.back(), " Program halted");
  }
};

TEST_F(BidCounterTest, LeadingBlanksAreSkippedAndTheSavedFileHoldsDigitsOnly) {
  WriteBytes(BidFile(), "  77");
  LoadBidCounter(dir_.path(), station_.bid, op_);
  EXPECT_EQ(station_.bid.value(), 77);
  EXPECT_TRUE(op_.status_lines.empty());
  SaveBidCounter(dir_.path(), station_.bid, op_);
  EXPECT_EQ(ReadBytes(BidFile()), "77");
  EXPECT_EQ(op_.status_lines, std::vector<std::string>{" Saving BID to TWIREBID.BIN"});
  EXPECT_FALSE(std::filesystem::exists(dir_ / "TWIREBID.BIN.tmp"));
}

TEST_F(BidCounterTest, NumberAfterLineEndsIsRead) {
  WriteBytes(BidFile(), "\r\n 4711\r\n");
  LoadBidCounter(dir_.path(), station_.bid, op_);
  EXPECT_EQ(station_.bid.value(), 4711);
}

TEST_F(BidCounterTest, NegativeValueIsSavedWithItsSign) {
  station_.bid.Set(-3);
  SaveBidCounter(dir_.path(), station_.bid, op_);
  EXPECT_EQ(ReadBytes(BidFile()), "-3");
}

TEST_F(BidCounterTest, PassWithoutMessagesSavesTheLoadedValueUnchanged) {
  WriteBytes(BidFile(), "523");
  LoadBidCounter(dir_.path(), station_.bid, op_);
  SaveBidCounter(dir_.path(), station_.bid, op_);
  EXPECT_EQ(ReadBytes(BidFile()), "523");
}

struct WrapCase {
  const char* name;
  const char* stored;
  std::vector<std::int32_t> issued;  // the numbers the next messages get
  const char* saved;
};

class BidWrapTest : public BidCounterTest, public ::testing::WithParamInterface<WrapCase> {};

TEST_P(BidWrapTest, NumbersIssuedAfterLoading) {
  const WrapCase& c = GetParam();
  WriteBytes(BidFile(), c.stored);
  LoadBidCounter(dir_.path(), station_.bid, op_);
  for (const std::int32_t expected : c.issued) {
    station_.bid.NextBid();
    EXPECT_EQ(station_.bid.value(), expected);
    EXPECT_EQ(station_.bid.BidText(), std::to_string(expected));
  }
  SaveBidCounter(dir_.path(), station_.bid, op_);
  EXPECT_EQ(ReadBytes(BidFile()), c.saved);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BidWrapTest,
    ::testing::Values(WrapCase{"last_two_before_wrap", "99988", {99989, 1}, "1"},
                      WrapCase{"above_the_range", "123456", {1, 2}, "2"},
                      WrapCase{"fresh_file_three_messages", "1", {2, 3, 4}, "4"},
                      WrapCase{"near_int_max", "2147483647", {1}, "1"},
                      WrapCase{"zero", "0", {1}, "1"}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadFileCase {
  const char* name;
  const char* content;
};

class BidBadFileTest : public BidCounterTest, public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(BidBadFileTest, InvalidNumericInputLeavesFileAndCounterAsTheyWere) {
  const BadFileCase& c = GetParam();
  WriteBytes(BidFile(), c.content);
  station_.bid.Set(42);
  try {
    LoadBidCounter(dir_.path(), station_.bid, op_);
    FAIL() << "expected an input/output error";
  } catch (const IoError& error) {
    EXPECT_STREQ(error.what(), "Invalid numeric input");
    EXPECT_EQ(error.code(), 106);
  }
  EXPECT_EQ(ReadBytes(BidFile()), c.content);
  EXPECT_EQ(station_.bid.value(), 42);
  EXPECT_TRUE(op_.status_lines.empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, BidBadFileTest,
                         ::testing::Values(BadFileCase{"empty", ""}, BadFileCase{"letters", "abc"},
                                           BadFileCase{"digits_then_letter", "12x"},
                                           BadFileCase{"blanks_only", "   \r\n"},
                                           BadFileCase{"beyond_32_bits", "99999999999"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BidCounterTest, FailedSaveKeepsTheOldCounterFile) {
  WriteBytes(BidFile(), "815");
  std::filesystem::create_directory(dir_ / "TWIREBID.BIN.tmp");  // the new file cannot be written
  station_.bid.Set(816);
  EXPECT_THROW(SaveBidCounter(dir_.path(), station_.bid, op_), IoError);
  EXPECT_EQ(ReadBytes(BidFile()), "815");
}

TEST_F(BidCounterTest, FirstRunYesStartsAtOneWithoutASaveLine) {
  ExpectCreateBox(Answer::kYes);
  LoadBidCounter(dir_.path(), station_.bid, op_);
  EXPECT_EQ(station_.bid.value(), 1);
  EXPECT_EQ(ReadBytes(BidFile()), "1");
  EXPECT_EQ(op_.status_lines, kFirstRunWarning);
  EXPECT_TRUE(op_.questions.empty());
  station_.bid.NextBid();
  EXPECT_EQ(station_.bid.value(), 2);
}

TEST_F(BidCounterTest, FirstRunNoAndNoTypedNumberHaltsWithoutAFile) {
  ExpectCreateBox(Answer::kNo);
  op_.ThenType("n");
  ExpectProgramHalts();
  EXPECT_FALSE(std::filesystem::exists(BidFile()));
  EXPECT_EQ(op_.status_lines, Joined(Joined(kFirstRunWarning, kRefusalHints), {" Program halted"}));
  EXPECT_EQ(op_.questions, std::vector<TypedQuestion>{TypedQuestion::kYesNoLetter});
}

TEST_F(BidCounterTest, FirstRunNothingTypedHalts) {
  ExpectCreateBox(Answer::kNo);
  op_.ThenType(std::nullopt);
  ExpectProgramHalts();
  EXPECT_FALSE(std::filesystem::exists(BidFile()));
}

struct TypedCase {
  const char* name;
  const char* letter;
  std::optional<std::string> typed;
  std::optional<std::string> saved;  // nullopt: no file
};

class BidTypedTest : public BidCounterTest, public ::testing::WithParamInterface<TypedCase> {};

TEST_P(BidTypedTest, TypedNumberIsSavedOnlyWhenItIsAWholeNumber) {
  const TypedCase& c = GetParam();
  ExpectCreateBox(Answer::kNo);
  op_.ThenType(c.letter).ThenType(c.typed);
  ExpectProgramHalts();
  EXPECT_EQ(op_.questions,
            (std::vector<TypedQuestion>{TypedQuestion::kYesNoLetter, TypedQuestion::kBidNumber}));
  const std::vector<std::string> head =
      Joined(Joined(kFirstRunWarning, kRefusalHints), {" Enter a BID-number now (max 99999) : "});
  if (c.saved) {
    EXPECT_EQ(ReadBytes(BidFile()), *c.saved);
    EXPECT_EQ(op_.status_lines, Joined(head, {" Saving BID to TWIREBID.BIN", " Program halted"}));
  } else {
    EXPECT_FALSE(std::filesystem::exists(BidFile()));
    EXPECT_EQ(op_.status_lines, Joined(head, {" No whole number typed: TWIREBID.BIN not written",
                                              " Program halted"}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BidTypedTest,
    ::testing::Values(TypedCase{"small_y", "y", "12345", "12345"},
                      TypedCase{"capital_y_with_blanks", " Y ", "  250 ", "250"},
                      TypedCase{"above_the_range_unchecked", "y", "99999999", "99999999"},
                      TypedCase{"garbage", "y", "12x", std::nullopt},
                      TypedCase{"empty_line", "Y", "", std::nullopt},
                      TypedCase{"nothing_comes", "y", std::nullopt, std::nullopt},
                      TypedCase{"beyond_32_bits", "y", "99999999999", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BidCounterTest, TypedNumberThatCannotBeSavedIsReportedAndTheProgramHalts) {
  std::filesystem::create_directory(dir_ / "TWIREBID.BIN.tmp");
  ExpectCreateBox(Answer::kNo);
  op_.ExpectOk(BoxKind::kError, "File access denied");
  op_.ThenType("y").ThenType("77");
  ExpectProgramHalts();
  EXPECT_FALSE(std::filesystem::exists(BidFile()));
}

}  // namespace
}  // namespace tidewire::cycle
