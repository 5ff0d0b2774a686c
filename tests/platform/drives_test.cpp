#include "platform/drives.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "platform/ini_file.h"
#include "support/temp_dir.h"

namespace tidewire::platform {
namespace {

using tidewire::testing::TempDir;
using tidewire::testing::WriteBytes;

TEST(DriveIsReady, LetterMappedToAnExistingFolderIsReady) {
  TempDir dir;
  DriveMap drives;
  drives.folders['C'] = dir.path();
  EXPECT_TRUE(DriveIsReady('C', drives));
  EXPECT_TRUE(DriveIsReady('c', drives));
  EXPECT_FALSE(DriveIsReady('D', drives));
  drives.folders['E'] = dir / "gone";
  EXPECT_FALSE(DriveIsReady('E', drives));
}

TEST(DriveIsReady, NonLetterIsNotAValidDriveId) {
  DriveMap drives;
  for (char c : {'1', '/', '\\', '\0', '['}) {
    try {
      (void)DriveIsReady(c, drives);
      ADD_FAILURE() << "no error for " << int{c};
    } catch (const ConversionError& e) {
      EXPECT_STREQ(e.what(), "Not a valid drive ID");
    }
  }
  EXPECT_THROW((void)PathDriveIsReady("", drives), ConversionError);
  EXPECT_THROW((void)PathDriveIsReady("1:\\FBB", drives), ConversionError);
}

TEST(PathDriveIsReady, PosixPathAsksItsFileSystem) {
  TempDir dir;
  DriveMap drives;
  EXPECT_TRUE(PathDriveIsReady(dir.path().string(), drives));
  EXPECT_FALSE(PathDriveIsReady((dir / "missing").string(), drives));
}

TEST(MapSettingsPath, DriveLettersAndBackslashes) {
  DriveMap drives;
  drives.folders['C'] = "/var/ax25/fbb";
  EXPECT_EQ(MapSettingsPath("C:\\FBB\\MAIL", drives), "/var/ax25/fbb/FBB/MAIL");
  EXPECT_EQ(MapSettingsPath("c:\\MAIL\\MAIL.IN", drives), "/var/ax25/fbb/MAIL/MAIL.IN");
  EXPECT_EQ(MapSettingsPath("C:", drives), "/var/ax25/fbb");
  EXPECT_EQ(MapSettingsPath("/var/mail\\FBBEMAIL", drives), "/var/mail/FBBEMAIL");
  EXPECT_NE(MapSettingsPath("Q:\\X", drives).string().find("nonexistent"), std::string::npos);
}

TEST(IniFile, ReadsDrivesAndKeepsWhatItSaves) {
  TempDir dir;
  WriteBytes(dir / "t.ini",
             "[WindowsRestorer]\nTForm1_Width=500\n\n[Drives]\nC=/srv/fbb\nd:=/mnt/d\n"
             "bogus=/x\n7=/y\n");
  const IniFile ini = IniFile::Load(dir / "t.ini");
  const DriveMap drives = DrivesFromIni(ini);
  EXPECT_EQ(drives.FolderOf('c'), "/srv/fbb");
  EXPECT_EQ(drives.FolderOf('D'), "/mnt/d");
  EXPECT_EQ(drives.FolderOf('A'), "/media/floppy");
  EXPECT_EQ(drives.folders.size(), 3u);

  IniFile copy = ini;
  copy.Set("WindowsRestorer", "TForm1_Width", "640");
  copy.Set("New", "k", "v");
  copy.Save(dir / "sub" / "t.ini");
  const IniFile back = IniFile::Load(dir / "sub" / "t.ini");
  EXPECT_EQ(back.Get("windowsrestorer", "tform1_width"), "640");
  EXPECT_EQ(back.Get("New", "k"), "v");
  EXPECT_EQ(back.Get("Drives", "C"), "/srv/fbb");
  EXPECT_FALSE(back.Get("Drives", "Z").has_value());
}

TEST(IniFile, DefaultPathFollowsXdgConfigHome) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", "/tmp/xdg-test", 1);
  EXPECT_EQ(IniFile::DefaultPath(), "/tmp/xdg-test/tidewire/tidewire.ini");
  if (old) {
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
}

}  // namespace
}  // namespace tidewire::platform
