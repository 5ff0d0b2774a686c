#include "config/settings_commands.h"

#include <gtest/gtest.h>

#include "base/file_layer.h"
#include "config/news_lists.h"
#include "config_files.h"

namespace tidewire::config {
namespace {

using testing::ConfigFilesTest;
using tidewire::testing::ReadBytes;
using tidewire::testing::WriteBytes;

class SettingsCommandsTest : public ::testing::Test, public ConfigFilesTest {
 protected:
  void ExpectQuestions(Answer ack, Answer lcopy, Answer watchdog) {
    op.ExpectBox(BoxKind::kConfirmation, Buttons::kYesNo,
                 "Send ACK-message to every received message?", ack)
        .ExpectBox(BoxKind::kConfirmation, Buttons::kYesNo,
                   "Leave copy of email on mail-server (default=NO) ?", lcopy)
        .ExpectBox(BoxKind::kConfirmation, Buttons::kYesNo,
                   "Enable WatchDog for SOUPER95? (Default=NO)", watchdog);
  }
};

TEST_F(SettingsCommandsTest, Captions) {
  EXPECT_EQ(HeaderButtonCaption(true), "SHORT HEADERS ENABLED ");
  EXPECT_EQ(HeaderButtonCaption(false), "SHORT HEADERS DISABLED");
  EXPECT_EQ(SwapButtonCaption("INET", false), "NEWSGP@INET");
  EXPECT_EQ(SwapButtonCaption("INET", true), "INET@NEWSGP");
  EXPECT_EQ(NewsExampleAddress("INET", false), "(HACK @ INET)");
  EXPECT_EQ(NewsExampleAddress("INET", true), "(INET @ HACK)");
}

// The WatchDog's minutes are asked at once: nothing typed, or no number, leaves WATCH.DOG as it
// was instead of an empty file that would stop every later pass.
TEST_F(SettingsCommandsTest, AdvancedYesCreatesTheFlagsAndAsksTheWatchdogMinutes) {
  const struct {
    std::optional<std::string> typed;
    const char* watchdog_after;
  } rows[] = {{"25", "25\r\n"}, {"", "10\r\n"}, {"ten", "10\r\n"}, {std::nullopt, "10\r\n"}};
  for (const auto& row : rows) {
    WriteBytes(dir / "WATCH.DOG", "10\r\n");
    ExpectQuestions(Answer::kYes, Answer::kYes, Answer::kYes);
    op.ThenType(row.typed);
    if (std::string(row.watchdog_after) == "10\r\n") {
      op.ExpectOk(BoxKind::kInformation, "No number of minutes: the WatchDog stays as it was.");
    }
    AskAdvancedQuestions(station.work_dir, station.op);
    EXPECT_TRUE(FileIsPresent(dir / "ACK"));
    EXPECT_TRUE(FileIsPresent(dir / "LCOPY"));
    EXPECT_EQ(ReadBytes(dir / "WATCH.DOG"), row.watchdog_after) << row.typed.value_or("(none)");
  }
  EXPECT_EQ(op.questions.back(), TypedQuestion::kWatchdogMinutes);
}

TEST_F(SettingsCommandsTest, AdvancedNoDeletesTheFlagsAndCreatesNothing) {
  for (const char* name : {"ACK", "LCOPY", "WATCH.DOG"}) WriteBytes(dir / name, "");
  ExpectQuestions(Answer::kNo, Answer::kNo, Answer::kNo);
  AskAdvancedQuestions(station.work_dir, station.op);
  for (const char* name : {"ACK", "LCOPY", "WATCH.DOG"}) EXPECT_FALSE(EntryExists(dir / name));
  ExpectQuestions(Answer::kNo, Answer::kNo, Answer::kNo);
  AskAdvancedQuestions(station.work_dir, station.op);  // nothing to delete is no error
}

TEST_F(SettingsCommandsTest, MarkAllMessagesReadLeavesTheFlagAndSaysSo) {
  op.ExpectOk(BoxKind::kInformation,
              "Please re-run the gateway again to mark all messages as read.\r"
              "Choose GO from the main menu.");
  MarkAllMessagesRead(station.work_dir, station.op);
  EXPECT_TRUE(FileIsPresent(dir / "A_READ"));
}

TEST_F(SettingsCommandsTest, NewsListFilesAreMadeOnlyWhereNoneIs) {
  WriteBytes(dir / ".newsrc", "alt.hackers\r\n");
  std::filesystem::permissions(dir / ".newsrc", std::filesystem::perms::owner_read);
  EnsureNewsListFiles(station.work_dir);
  EXPECT_EQ(ReadBytes(dir / ".newsrc"), "alt.hackers\r\n");  // read-only, yet kept
  EXPECT_FALSE(std::filesystem::exists(dir / ".NEWSRC"));
  EXPECT_TRUE(std::filesystem::exists(dir / "TWIRE.PTI"));
  EXPECT_EQ(ReadBytes(dir / "TWIRE.PTI"), "");
}

TEST(NewsLists, AreaTextAndLinesAreInverse) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(AreaLines(""), Lines{});
  EXPECT_EQ(AreaLines("a\nb"), (Lines{"a", "b"}));
  EXPECT_EQ(AreaLines("a\nb\n"), (Lines{"a", "b"}));
  EXPECT_EQ(AreaLines("a\n\n"), (Lines{"a", ""}));
  for (const Lines& lines : {Lines{}, Lines{""}, Lines{"a", "", "c"}, Lines{"a", ""}}) {
    EXPECT_EQ(AreaLines(AreaText(lines)), lines);
  }
}

TEST_F(SettingsCommandsTest, ListFileRoundTripKeepsTheBytes) {
  const std::string bytes = "alt.hackers\r\n\r\nde.comp \t\r\n";
  WriteBytes(dir / "TWIRE.PTI", bytes);
  WriteListFile(dir / "TWIRE.PTI", ReadListFile(dir / "TWIRE.PTI"));
  EXPECT_EQ(ReadBytes(dir / "TWIRE.PTI"), bytes);
}

}  // namespace
}  // namespace tidewire::config
