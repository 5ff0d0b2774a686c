#include "cycle/floppy_backup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/file_layer.h"
#include "base/station.h"
#include "platform/ini_file.h"
#include "support/scripted_operator.h"
#include "support/temp_dir.h"

namespace tidewire::cycle {
namespace {

using tidewire::testing::ReadBytes;
using tidewire::testing::ScriptedOperator;
using tidewire::testing::TempDir;
using tidewire::testing::WriteBytes;

constexpr const char* kInsertBlank = "Insert a blank formatted disk in drive A:";
constexpr const char* kInsertBackup = "Insert Tidewire backup-disk in drive A:";
constexpr const char* kReplaceBid = "Replace current Last-BID with old one?";
constexpr const char* kRestart = "Please restart the Tidewire software now.";

class FloppyTest : public ::testing::Test {
 protected:
  FloppyTest() : station_(op_, work_.path()) { station_.drives.folders['A'] = disk_.path(); }

  void Insert(const char* question, Answer answer) {
    op_.ExpectBox(BoxKind::kInformation, Buttons::kOkCancel, question, answer);
  }
  void Local(const std::string& name, const std::string& bytes) { WriteBytes(work_ / name, bytes); }
  void OnDisk(const std::string& name, const std::string& bytes) {
    WriteBytes(disk_ / name, bytes);
  }
  // A disk as a full backup left it.
  void FullDisk() {
    for (std::string_view name : kFloppyBackupFiles) {
      OnDisk(std::string(name), "disk " + std::string(name));
    }
  }

  TempDir work_;
  TempDir disk_;
  ScriptedOperator op_;
  Station station_;
};

TEST_F(FloppyTest, BackupCopiesThePresentFilesInListOrder) {
  Local("TWIRE.CFG", "cfg");  // names are matched without regard to case
  Local("user.dat", "users");
  Local("sound", "");
  Local("A_READ", "");  // in neither list
  Insert(kInsertBlank, Answer::kOk);
  BackupToFloppy(station_);
  EXPECT_EQ(op_.status_lines, (std::vector<std::string>{"Backup of file twire.cfg created.",
                                                        "Backup of file user.dat created.",
                                                        "Backup of file sound created."}));
  EXPECT_EQ(ReadBytes(disk_ / "twire.cfg"), "cfg");
  EXPECT_EQ(ReadBytes(disk_ / "user.dat"), "users");
  EXPECT_TRUE(FileIsPresent(disk_ / "sound"));
  EXPECT_FALSE(EntryExists(disk_ / "A_READ"));
}

// The settings hold the password: both copies are the owner's alone, also from an old disk
// whose copy was left readable to all.
TEST_F(FloppyTest, CopiesOfTheSettingsAreTheOwnersAlone) {
  const auto mode = [](const fs::path& path) {
    return fs::status(path).permissions() & fs::perms::all;
  };
  const auto owner = fs::perms::owner_read | fs::perms::owner_write;
  Local("TWIRE.CFG", "cfg");
  fs::permissions(work_ / "TWIRE.CFG", owner);
  Insert(kInsertBlank, Answer::kOk);
  BackupToFloppy(station_);
  EXPECT_EQ(mode(disk_ / "twire.cfg"), owner);
  FullDisk();
  fs::permissions(disk_ / "twire.cfg", owner | fs::perms::group_read | fs::perms::others_read);
  Insert(kInsertBackup, Answer::kOk);
  op_.ExpectOk(BoxKind::kInformation, kRestart);
  RestoreFromFloppy(station_);
  EXPECT_EQ(ReadBytes(work_ / "TWIRE.CFG"), "disk twire.cfg");
  EXPECT_EQ(mode(work_ / "TWIRE.CFG"), owner);
}

TEST_F(FloppyTest, CancelInTheFirstBoxCopiesNothing) {
  Local("twire.cfg", "cfg");
  Insert(kInsertBlank, Answer::kCancel);
  BackupToFloppy(station_);
  Insert(kInsertBackup, Answer::kCancel);
  RestoreFromFloppy(station_);
  EXPECT_TRUE(op_.status_lines.empty());
  EXPECT_FALSE(EntryExists(disk_ / "twire.cfg"));
  EXPECT_EQ(ReadBytes(work_ / "twire.cfg"), "cfg");
}

// Drive A: that is not there is one box that offers to choose the folder, which is kept as the
// [Drives] mapping; declined, nothing is copied and nothing more is said.
TEST_F(FloppyTest, WithoutDriveAOneBoxOffersToChooseTheFolder) {
  const std::string question = "Drive A: for the backup (" + (disk_ / "not-mounted").string() +
                               ") is not there.\rChoose a folder for the backup now?";
  station_.drives.folders['A'] = disk_ / "not-mounted";
  // The INI file of this test alone.
  const char* old_config = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old_config != nullptr ? old_config : "";
  ::setenv("XDG_CONFIG_HOME", (work_ / ".config").c_str(), 1);
  Local("twire.cfg", "cfg");
  Local("ACK", "");
  op_.ExpectBox(BoxKind::kConfirmation, Buttons::kYesNo, question, Answer::kNo);
  BackupToFloppy(station_);
  op_.ExpectBox(BoxKind::kConfirmation, Buttons::kYesNo, question, Answer::kNo);
  RestoreFromFloppy(station_);
  EXPECT_TRUE(op_.status_lines.empty());
  op_.ExpectBox(BoxKind::kConfirmation, Buttons::kYesNo, question, Answer::kYes);
  op_.ThenType(disk_.path().string());
  Insert(kInsertBlank, Answer::kOk);
  BackupToFloppy(station_);
  EXPECT_EQ(ReadBytes(disk_ / "twire.cfg"), "cfg");
  EXPECT_EQ(station_.drives.FolderOf('A'), disk_.path());
  EXPECT_EQ(platform::IniFile::Load(work_ / ".config/tidewire/tidewire.ini").Get("Drives", "A"),
            disk_.path().string());
  if (old_config != nullptr) {
    ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
}

// Files that cannot be copied are named in one box.
TEST_F(FloppyTest, FailedCopiesAreNamedInOneBox) {
  Local("twire.cfg", "cfg");
  Local("ACK", "");
  std::filesystem::create_directory(disk_ / "twire.cfg");
  std::filesystem::create_directory(disk_ / "ACK");
  Insert(kInsertBlank, Answer::kOk);
  op_.ExpectOk(BoxKind::kWarning, "Failed to copy file: twire.cfg, ACK");
  BackupToFloppy(station_);
}

TEST_F(FloppyTest, RestoreWithoutALocalCounterRestoresEverythingWithoutAQuestion) {
  FullDisk();
  Local("twire.cfg", "local cfg");
  Insert(kInsertBackup, Answer::kOk);
  op_.ExpectOk(BoxKind::kInformation, kRestart);
  RestoreFromFloppy(station_);
  EXPECT_EQ(op_.status_lines,
            (std::vector<std::string>{
                "Restored file twire.cfg", "Restored file twire.pti", "Restored file twire.itp",
                "Restored file twire.sim", "Restored file twirebid.bin", "Restored file .newsrc",
                "Restored file user.dat", "Restored file ml.cfg", "Restored file sound",
                "Restored file autogo", "Restored file ACK", "Restored file LCOPY",
                "Restored file WATCH.DOG", "Restored file 1twire"}));
  EXPECT_EQ(ReadBytes(work_ / "twire.cfg"), "disk twire.cfg");
  EXPECT_EQ(ReadBytes(work_ / "twirebid.bin"), "disk twirebid.bin");
  EXPECT_FALSE(EntryExists(work_ / "RESTORE.TMP"));
}

TEST_F(FloppyTest, RestoreAsksBeforeReplacingTheLocalCounterAndCancelKeepsIt) {
  FullDisk();
  Local("TWIREBID.BIN", "4711");
  Insert(kInsertBackup, Answer::kOk);
  op_.ExpectBox(BoxKind::kConfirmation, Buttons::kOkCancel, kReplaceBid, Answer::kCancel);
  op_.ExpectOk(BoxKind::kInformation, kRestart);
  RestoreFromFloppy(station_);
  EXPECT_EQ(ReadBytes(work_ / "TWIREBID.BIN"), "4711");
  EXPECT_EQ(op_.status_lines.size(), 13u);
  EXPECT_EQ(ReadBytes(work_ / "user.dat"), "disk user.dat");
}

TEST_F(FloppyTest, RestoreReplacesTheLocalCounterOnOk) {
  FullDisk();
  Local("TWIREBID.BIN", "4711");
  Insert(kInsertBackup, Answer::kOk);
  op_.ExpectBox(BoxKind::kConfirmation, Buttons::kOkCancel, kReplaceBid, Answer::kOk);
  op_.ExpectOk(BoxKind::kInformation, kRestart);
  RestoreFromFloppy(station_);
  EXPECT_EQ(ReadBytes(work_ / "TWIREBID.BIN"), "disk twirebid.bin");
  EXPECT_FALSE(std::filesystem::exists(work_ / "twirebid.bin"));  // the local spelling stays
}

// A fresh station's backup lacks twire.itp and twire.sim: no warning for those; one box names
// the settings a station cannot work without when the disk lacks them.
TEST_F(FloppyTest, MissingRequiredFilesAreReportedInOneBoxAndMissingOptionalOnesAreNot) {
  OnDisk("twire.cfg", "cfg");
  OnDisk("ACK", "");
  Local("sound", "");  // a disk made without "sound" leaves the local one alone
  Insert(kInsertBackup, Answer::kOk);
  op_.ExpectOk(BoxKind::kWarning, "Not on the backup: a:\\user.dat");
  op_.ExpectOk(BoxKind::kInformation, kRestart);
  RestoreFromFloppy(station_);
  EXPECT_EQ(op_.status_lines,
            (std::vector<std::string>{"Restored file twire.cfg", "Restored file ACK"}));
  EXPECT_TRUE(FileIsPresent(work_ / "sound"));
}

TEST_F(FloppyTest, AFailedRestoreKeepsTheLocalFile) {
  OnDisk("twire.cfg", "disk cfg");
  Local("twire.cfg", "local cfg");
  std::filesystem::create_directory(work_ / "RESTORE.TMP");  // the copy cannot be written
  Insert(kInsertBackup, Answer::kOk);
  // Nothing was restored: no request to restart.
  op_.ExpectOk(BoxKind::kWarning,
               "Not on the backup: a:\\user.dat\rFailed to restore file: a:\\twire.cfg");
  RestoreFromFloppy(station_);
  EXPECT_EQ(ReadBytes(work_ / "twire.cfg"), "local cfg");
}

}  // namespace
}  // namespace tidewire::cycle
