#include "config/user_settings.h"

#include <gtest/gtest.h>

#include "config/user_database.h"
#include "config_files.h"

namespace tidewire::config {
namespace {

using testing::ConfigFilesTest;
using testing::CrLfLines;
using tidewire::testing::ReadBytes;

UserRecord User(std::string call) {
  return UserRecord{call, "XX0BBS", "Name of " + call, "a@b.example", false};
}

std::vector<std::string> UserLines(std::string version, const std::vector<std::string>& calls) {
  std::vector<std::string> lines{std::move(version), std::to_string(calls.size())};
  for (const std::string& call : calls) {
    const UserRecord user = User(call);
    lines.insert(lines.end(), {user.UserCALL, user.HomeBBS, user.RealName, user.RemailerAccount});
  }
  return lines;
}

class UserSettingsTest : public ::testing::Test, public ConfigFilesTest {
 protected:
  [[nodiscard]] std::string UserFile() const { return ReadBytes(dir / "USER.DAT"); }
};

TEST_F(UserSettingsTest, UserFileRoundTripKeepsTheBytes) {
  const std::string bytes = CrLfLines(UserLines("V1.5c", {"XX1ABC", "XX2DEF"}));
  tidewire::testing::WriteBytes(dir / "USER.DAT", bytes);
  const UserFileContent content = ReadUserFile(dir / "USER.DAT");
  ASSERT_EQ(content.Records.size(), 2u);
  WriteUserFile(dir / "USER.DAT", kUserFileVersion, content.Records);
  EXPECT_EQ(UserFile(), bytes);
}

TEST_F(UserSettingsTest, SlotsFollowTheFileAndTheRestAreFree) {
  Write("USER.DAT", UserLines("V1.5c", {"XX1ABC", "XX2DEF"}));
  const UserSlots slots = ReadUserSlots(station.work_dir, station.op);
  EXPECT_EQ(slots.LoadedCount(), 2);
  EXPECT_EQ(slots[2].RowText, "XX2DEF");
  EXPECT_EQ(slots[2].Record.RealName, "Name of XX2DEF");
  EXPECT_EQ(slots.FirstFreeSlot(), 3);
  EXPECT_EQ(ReadUserSlots(station.work_dir, station.op).LoadedCount(),
            2);  // reading writes nothing
  EXPECT_TRUE(op.boxes.empty());
}

TEST_F(UserSettingsTest, MoreThanAHundredFillTheSlotsAndSaySo) {
  std::vector<std::string> calls;
  for (int k = 1; k <= 101; ++k) calls.push_back("X" + std::to_string(k));
  Write("USER.DAT", UserLines("V1.5c", calls));
  op.ExpectOk(BoxKind::kWarning,
              "USER.DAT holds 101 users, but only 100 fit.\rUsers after 100 are not shown and "
              "are left out when USER.DAT is saved.");
  const UserSlots slots = ReadUserSlots(station.work_dir, station.op);
  EXPECT_EQ(slots.LoadedCount(), 100);
  EXPECT_EQ(slots[100].RowText, "X100");
  EXPECT_EQ(slots.FirstFreeSlot(), 0);
}

TEST_F(UserSettingsTest, SaveTrimsTheFieldsButTheRowShowsTheCallAsTyped) {
  UserSlots slots;
  UserRecord entries{"XX1ABC ", "XX0BBS\t", "Jo Doe  ", "jo@example.org ", false};
  EXPECT_TRUE(SaveUserSlot(station.work_dir, station.op, slots, 4, entries));
  EXPECT_EQ(slots[4].RowText, "XX1ABC ");
  EXPECT_EQ(slots[4].Record.UserCALL, "XX1ABC");
  EXPECT_EQ(UserFile(), CrLfLines({"V1.5c", "1", "XX1ABC", "XX0BBS", "Jo Doe", "jo@example.org"}));
}

struct RefusedRow {
  const char* name;
  UserRecord entries;
  UserRecord shown_after;
};

class RefusedRecord : public ::testing::TestWithParam<RefusedRow>, public ConfigFilesTest {};

TEST_P(RefusedRecord, WarnsStoresNothingAndStillWritesTheFile) {
  Write("USER.DAT", UserLines("V1.3x", {"XX1ABC"}));
  UserSlots slots = ReadUserSlots(station.work_dir, station.op);
  op.ExpectOk(BoxKind::kWarning, "Record not added, some fields are empty");
  UserRecord entries = GetParam().entries;
  EXPECT_FALSE(SaveUserSlot(station.work_dir, station.op, slots, 2, entries));
  EXPECT_EQ(entries.RealName, GetParam().shown_after.RealName);
  EXPECT_EQ(entries.UserCALL, GetParam().shown_after.UserCALL);
  EXPECT_EQ(slots[2].RowText, "");
  EXPECT_EQ(ReadBytes(dir / "USER.DAT"), CrLfLines(UserLines("V1.5c", {"XX1ABC"})));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RefusedRecord,
    ::testing::Values(RefusedRow{"name_begins_with_blank",
                                 {"XX2DEF", "XX0BBS", " Jo", "jo@example.org", false},
                                 {"XX2DEF", "XX0BBS", "", "jo@example.org", false}},
                      RefusedRow{"call_only_blanks",
                                 {"  ", "XX0BBS", "Jo", "jo@example.org", false},
                                 {"", "XX0BBS", "Jo", "jo@example.org", false}},
                      RefusedRow{"account_empty",
                                 {"XX2DEF", "XX0BBS", "Jo", "", false},
                                 {"XX2DEF", "XX0BBS", "Jo", "", false}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UserSettingsTest, DeletingTheMiddleSlotPacksTheFile) {
  Write("USER.DAT", UserLines("V1.5c", {"XX1ABC", "XX2DEF", "XX3GHI"}));
  UserSlots slots = ReadUserSlots(station.work_dir, station.op);
  DeleteUserSlot(station.work_dir, slots, 2);
  EXPECT_EQ(slots.FirstFreeSlot(), 2);
  EXPECT_EQ(UserFile(), CrLfLines(UserLines("V1.5c", {"XX1ABC", "XX3GHI"})));
}

TEST_F(UserSettingsTest, FindCallSearchesEverySlotAlsoOnesSavedSince) {
  Write("USER.DAT", UserLines("V1.5c", {"XX1ABC", "YY2ABD", "XX3ABC"}));
  UserSlots slots = ReadUserSlots(station.work_dir, station.op);
  EXPECT_EQ(slots.FindCall("AB"), 1);
  EXPECT_EQ(slots.FindCall("3AB"), 3);
  EXPECT_EQ(slots.FindCall("ZZ"), 0);
  EXPECT_EQ(slots.FindCall(""), 0);
  UserRecord added = User("ZZ9ZZZ");
  ASSERT_TRUE(SaveUserSlot(station.work_dir, station.op, slots, 4, added));
  EXPECT_EQ(slots.FindCall("ZZ9"), 4);
}

TEST_F(UserSettingsTest, NewDatabaseAsksThenWritesAnEmptyOne) {
  Write("USER.DAT", UserLines("V1.5c", {"XX1ABC"}));
  const std::string question = "Are you realy sure you want to create a new database?";
  op.ExpectBox(BoxKind::kConfirmation, Buttons::kYesNo, question, Answer::kNo);
  EXPECT_FALSE(CreateNewUserDatabase(station.work_dir, station.op));
  EXPECT_EQ(UserFile(), CrLfLines(UserLines("V1.5c", {"XX1ABC"})));

  op.ExpectBox(BoxKind::kConfirmation, Buttons::kYesNo, question, Answer::kYes)
      .ExpectBox(BoxKind::kWarning, Buttons::kYes, "You need to restart the Tidewire software",
                 Answer::kYes);
  EXPECT_TRUE(CreateNewUserDatabase(station.work_dir, station.op));
  EXPECT_EQ(UserFile(), "V1.3x\r\n0\r\n");
}

}  // namespace
}  // namespace tidewire::config
