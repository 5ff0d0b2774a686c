#include "config/user_database.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "base/file_layer.h"
#include "config_files.h"

namespace tidewire::config {
namespace {

using testing::ConfigFilesTest;

class UserDatabaseTest : public ::testing::Test, public ConfigFilesTest {
 protected:
  // USER.DAT with a version line, a count line and records of (call, home BBS).
  void WriteUsers(std::string version, std::string count,
                  const std::vector<std::pair<std::string, std::string>>& records) {
    std::vector<std::string> lines{std::move(version), std::move(count)};
    for (const auto& [call, home] : records) {
      lines.insert(lines.end(), {call, home, "Name of " + call, call + "@example.org"});
    }
    Write("USER.DAT", lines);
  }
};

TEST_F(UserDatabaseTest, NewDatabaseIsEmptyAndQuiet) {
  WriteUsers("V1.3x", "0", {});
  LoadUserDatabase(station.work_dir, station.config, station.users, station.op);
  EXPECT_EQ(station.users.UserCount(), 0);
  EXPECT_EQ(station.users.FindUserByCall("XX1ABC"), 0);
  EXPECT_EQ(op.status_lines, std::vector<std::string>{" Reading file: USER.DAT"});
}

TEST_F(UserDatabaseTest, MissingFileLeavesTheTableSilently) {
  station.users.Add(UserRecord{"XX1ABC", "XX0BBS", "", "", false});
  LoadUserDatabase(station.work_dir, station.config, station.users, station.op);
  EXPECT_EQ(station.users.UserCount(), 1);
  EXPECT_TRUE(op.status_lines.empty());
  // Something under the name that cannot be read is no "missing file": it must not empty the
  // table the passes rely on.
  std::filesystem::create_directory(dir / "USER.DAT");
  EXPECT_THROW(LoadUserDatabase(station.work_dir, station.config, station.users, station.op),
               IoError);
  EXPECT_EQ(station.users.UserCount(), 1);
}

TEST_F(UserDatabaseTest, LoadsRecordsInOrderWhateverTheVersionLine) {
  WriteUsers("anything at all", "3",
             {{"XX1ABC", "XX0BBS"}, {"xx2def", "XX9BBS.#TST"}, {"XX3GHI", ""}});
  LoadUserDatabase(station.work_dir, station.config, station.users, station.op);
  ASSERT_EQ(station.users.UserCount(), 3);
  EXPECT_EQ(station.users[2].UserCALL, "xx2def");
  EXPECT_EQ(station.users[2].HomeBBS, "XX9BBS.#TST");
  EXPECT_EQ(station.users[2].RealName, "Name of xx2def");
  EXPECT_EQ(station.users[2].RemailerAccount, "xx2def@example.org");
  EXPECT_EQ(station.users[3].HomeBBS, "");
}

TEST_F(UserDatabaseTest, FindUserByCall) {
  WriteUsers("V1.5c", "4", {{"XX1ABC", "A"}, {"XX2DEF", "B"}, {"XX1ABC", "C"}, {"XX3GHI-5", "D"}});
  LoadUserDatabase(station.work_dir, station.config, station.users, station.op);
  const UserDatabase& users = station.users;
  EXPECT_EQ(users.FindUserByCall("xx2def"), 2);   // case
  EXPECT_EQ(users.FindUserByCall("XX1ABC"), 3);   // the later of two
  EXPECT_EQ(users.FindUserByCall("XX1AB"), 0);    // prefix
  EXPECT_EQ(users.FindUserByCall("XX2DEF "), 0);  // trailing blank
  EXPECT_EQ(users.FindUserByCall("XX3GHI"), 0);
  EXPECT_EQ(users.FindUserByCall("xx3ghi-5"), 4);
  EXPECT_EQ(users.FindUserByCall(""), 0);
}

TEST_F(UserDatabaseTest, InvalidCountWarnsAndTakesLeadingDigits) {
  WriteUsers("V1.5c", "2x", {{"XX1ABC", "A"}, {"XX2DEF", "B"}, {"XX3GHI", "C"}});
  op.ExpectOk(BoxKind::kWarning, "Error in file USER.DAT  (maximum users value invalid)");
  LoadUserDatabase(station.work_dir, station.config, station.users, station.op);
  EXPECT_EQ(station.users.UserCount(), 2);
}

TEST_F(UserDatabaseTest, CountBounds) {
  WriteUsers("V1.5c", " -3", {{"XX1ABC", "A"}});
  LoadUserDatabase(station.work_dir, station.config, station.users, station.op);
  EXPECT_EQ(station.users.UserCount(), 0);

  WriteUsers("V1.5c", "3", {{"XX1ABC", "A"}, {"XX2DEF", "B"}});  // one record short
  LoadUserDatabase(station.work_dir, station.config, station.users, station.op);
  ASSERT_EQ(station.users.UserCount(), 3);
  EXPECT_EQ(station.users[3].UserCALL, "");
  EXPECT_EQ(station.users[3].RemailerAccount, "");

  op.status_lines.clear();
  std::vector<std::pair<std::string, std::string>> many;
  for (int k = 1; k <= 102; ++k) many.emplace_back("X" + std::to_string(k), "XX0BBS");
  WriteUsers("V1.5c", "102", many);
  LoadUserDatabase(station.work_dir, station.config, station.users, station.op);
  EXPECT_EQ(station.users.UserCount(), 100);
  EXPECT_EQ(station.users[100].UserCALL, "X100");
  EXPECT_EQ(op.status_lines,
            (std::vector<std::string>{
                " Reading file: USER.DAT",
                "WARNING: USER.DAT announces 102 users; users after 100 are not loaded"}));
}

TEST_F(UserDatabaseTest, LowerCaseFileNameIsFound) {
  tidewire::testing::WriteBytes(dir / "user.dat", "V1.5c\r\n1\r\nXX1ABC\r\nXX0BBS\r\nA\r\nb\r\n");
  LoadUserDatabase(station.work_dir, station.config, station.users, station.op);
  EXPECT_EQ(station.users.FindUserByCall("XX1ABC"), 1);
}

TEST_F(UserDatabaseTest, UserBreakingFbbLimitsGetsOneWarningLine) {
  WriteUsers("V1.5c", "2", {{"XX1ABCDE", "XX0BBS"}, {"XX2DEF", "XX0BBS"}});
  LoadUserDatabase(station.work_dir, station.config, station.users, station.op);
  EXPECT_EQ(op.status_lines, (std::vector<std::string>{
                                 " Reading file: USER.DAT",
                                 "WARNING: USER.DAT user 1 (XX1ABCDE) has a call longer than 6 "
                                 "characters: FBB drops every message to this user"}));
}

TEST_F(UserDatabaseTest, UnreadableFileRaisesIoErrorAndKeepsTheTable) {
  // /proc/self/mem can be opened for reading and writing, but reading at offset 0 fails.
  std::filesystem::create_symlink("/proc/self/mem", dir / "USER.DAT");
  if (!FileIsPresent(dir / "USER.DAT")) GTEST_SKIP() << "no /proc/self/mem here";
  station.users.Add(UserRecord{"XX1ABC", "XX0BBS", "", "", false});
  try {
    LoadUserDatabase(station.work_dir, station.config, station.users, station.op);
    ADD_FAILURE() << "no IoError";
  } catch (const IoError& error) {
    EXPECT_STREQ(error.what(), "I/O error 5");
  }
  EXPECT_EQ(station.users.UserCount(), 1);
}

}  // namespace
}  // namespace tidewire::config
