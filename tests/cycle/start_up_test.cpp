#include "cycle/start_up.h"

#include <gtest/gtest.h>

#include <filesystem>
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

constexpr const char* kBackupQuestion = "BACKUP-Dir does not exist!  Create new one?";

// A TWIRE.CFG of 21 lines: short news headers on, mail headers off, universal FROM on.
std::string ConfigFile() {
  std::string text;
  for (int line = 1; line <= 15; ++line) text += "setting" + std::to_string(line) + "\r\n";
  return text + "TRUE\r\nFALSE\r\n30\r\nFALSE\r\n0\r\nTRUE\r\n";
}

class StartUpTest : public tidewire::testing::StationTest {
 protected:
  StartUpTest() {
    std::filesystem::create_directory(dir_ / "backup");
    WriteBytes(dir_ / "TWIRE.CFG", ConfigFile());
  }

  bool Exists(const char* name) const { return std::filesystem::exists(dir_ / name); }
};

TEST_F(StartUpTest, MissingBackupFolderIsCreatedOnOk) {
  std::filesystem::remove(dir_ / "backup");
  op_.ExpectBox(BoxKind::kConfirmation, Buttons::kOkCancel, kBackupQuestion, Answer::kOk);
  StartUp(station_);
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "backup"));
  EXPECT_EQ(op_.status1, "Ready to GO!");
}

TEST_F(StartUpTest, RefusedBackupFolderEndsTheProgramBeforeAnythingIsRead) {
  std::filesystem::remove(dir_ / "backup");
  WriteBytes(dir_ / "USER.DAT", "V1\r\n1\r\nQX1AA\r\nQX3BB\r\nAnn\r\nann@example.org\r\n");
  WriteBytes(dir_ / "sound", "");
  op_.ExpectBox(BoxKind::kConfirmation, Buttons::kOkCancel, kBackupQuestion, Answer::kCancel);
  try {
    StartUp(station_);
    FAIL() << "the program must end";
  } catch (const EndProgram& end) {
    EXPECT_EQ(end.reason, EndProgram::Reason::kOperator);
  }
  EXPECT_FALSE(Exists("backup"));
  EXPECT_FALSE(station_.SoundOn);
  EXPECT_EQ(station_.users.UserCount(), 0);
  EXPECT_TRUE(op_.status_lines.empty());
  EXPECT_EQ(op_.error1, "");
}

TEST_F(StartUpTest, ManualStartReadsUsersAndSettings) {
  WriteBytes(dir_ / "USER.DAT", "V1\r\n1\r\nQX1AA\r\nQX3BB\r\nAnn\r\nann@example.org\r\n");
  station_.config.ConfigurationCodeMode2 = true;
  StartUp(station_);
  EXPECT_FALSE(station_.config.ConfigurationCodeMode2);
  EXPECT_FALSE(station_.SoundOn);
  EXPECT_FALSE(station_.panel.sound);
  EXPECT_FALSE(station_.AutoGoMode);
  EXPECT_FALSE(station_.panel.auto_go);
  EXPECT_EQ(op_.status1, "Ready to GO!");
  EXPECT_EQ(op_.error1, "Idle");
  EXPECT_EQ(op_.progress_label, "");
  EXPECT_EQ(station_.users.UserCount(), 1);
  EXPECT_EQ(station_.users[1].UserCALL, "QX1AA");
  EXPECT_TRUE(station_.config.ShortNewsHeaders);
  EXPECT_FALSE(station_.config.ShortMailHeaders);
  EXPECT_TRUE(station_.config.UniversalFrom);
  EXPECT_FALSE(Exists("autogo"));
}

TEST_F(StartUpTest, SoundFlagFileSwitchesSoundAndTheBoxOn) {
  WriteBytes(dir_ / "sound", "");
  StartUp(station_);
  EXPECT_TRUE(station_.SoundOn);
  EXPECT_TRUE(station_.panel.sound);
}

TEST_F(StartUpTest, AutoGoFlagFileTicksTheBoxAndIsCreatedAfresh) {
  WriteBytes(dir_ / "autogo", "left over");
  StartUp(station_);
  EXPECT_TRUE(station_.AutoGoMode);
  EXPECT_TRUE(station_.panel.auto_go);
  EXPECT_EQ(ReadBytes(dir_ / "autogo"), "");
  EXPECT_EQ(op_.status1, "");  // left for the run cycle
  EXPECT_EQ(op_.error1, "Idle");
  EXPECT_EQ(op_.turns, 1);
}

TEST_F(StartUpTest, MissingSettingsFileIsReportedAndStartGoesOn) {
  std::filesystem::remove(dir_ / "TWIRE.CFG");
  op_.ExpectOk(BoxKind::kError,
               "TWIRE.CFG file not found! Please set and save settings\r"
               "or use your Backup disk to restore old one.");
  StartUp(station_);
  EXPECT_EQ(op_.status1, "Ready to GO!");
}

struct StopCase {
  const char* name;
  bool sound_box;
  bool autogo_box;
  bool files_before;
};

class StopClickTest : public StartUpTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopClickTest, BoxesAreSavedIntoTheFlagFiles) {
  const StopCase& c = GetParam();
  if (c.files_before) {
    WriteBytes(dir_ / "sound", "x");
    WriteBytes(dir_ / "autogo", "x");
  }
  station_.panel.sound = c.sound_box;
  station_.panel.auto_go = c.autogo_box;
  station_.AutoGoMode = !c.autogo_box;
  StopClick(station_);
  EXPECT_EQ(Exists("sound"), c.sound_box);
  EXPECT_EQ(Exists("autogo"), c.autogo_box);
  if (c.sound_box) {
    EXPECT_EQ(ReadBytes(dir_ / "sound"), "");
  }
  if (c.autogo_box) {
    EXPECT_EQ(ReadBytes(dir_ / "autogo"), "");
  }
  EXPECT_EQ(station_.AutoGoMode, c.autogo_box);
  EXPECT_FALSE(station_.SoundOn);  // only GO takes the sound box over
}

INSTANTIATE_TEST_SUITE_P(Rows, StopClickTest,
                         ::testing::Values(StopCase{"both_on_from_nothing", true, true, false},
                                           StopCase{"both_on_replacing", true, true, true},
                                           StopCase{"both_off_deleting", false, false, true},
                                           StopCase{"both_off_nothing_there", false, false, false},
                                           StopCase{"sound_only", true, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartUpTest, StopThatCannotDeleteAFlagStopsThereWithTheError) {
  std::filesystem::create_directory(dir_ / "sound");  // a folder cannot be deleted as a file
  station_.panel.sound = false;
  station_.panel.auto_go = true;
  EXPECT_THROW(StopClick(station_), IoError);
  EXPECT_FALSE(Exists("autogo"));
  EXPECT_FALSE(station_.AutoGoMode);
}

TEST_F(StartUpTest, AutoGoClickFollowsTheModeNotTheBox) {
  station_.panel.auto_go = true;  // out of step with the mode: the mode decides
  AutoGoCheckClick(station_);
  EXPECT_TRUE(station_.AutoGoMode);
  EXPECT_TRUE(station_.panel.auto_go);
  EXPECT_TRUE(Exists("autogo"));
  AutoGoCheckClick(station_);
  EXPECT_FALSE(station_.AutoGoMode);
  EXPECT_FALSE(station_.panel.auto_go);
  EXPECT_FALSE(Exists("autogo"));
  EXPECT_EQ(op_.turns, 2);
}

TEST_F(StartUpTest, CloseAsksOnlyOutsideAutoGoMode) {
  station_.AutoGoMode = true;
  EXPECT_TRUE(FormClose(station_));
  station_.AutoGoMode = false;
  op_.ExpectBox(BoxKind::kConfirmation, Buttons::kYesNo, "Are you sure ?", Answer::kNo);
  EXPECT_FALSE(FormClose(station_));
  op_.ExpectBox(BoxKind::kConfirmation, Buttons::kYesNo, "Are you sure ?", Answer::kYes);
  EXPECT_TRUE(FormClose(station_));
}

}  // namespace
}  // namespace tidewire::cycle
