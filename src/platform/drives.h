#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace tidewire::platform {

class IniFile;

// Drive letters of the settings mapped to folders ([Drives] of the program's INI file).
struct DriveMap {
  std::map<char, std::filesystem::path> folders;  // key: capital letter

  // Reads the [Drives] section; drive A defaults to /media/floppy.
  static DriveMap FromIni(const IniFile& ini);
  // The folder of a drive letter (any case); empty when it is not mapped.
  [[nodiscard]] std::filesystem::path FolderOf(char letter) const;
};

// True when the drive's file system answers. A lower-case letter is taken as its capital; a
// character outside A to Z raises "Not a valid drive ID".
[[nodiscard]] bool DriveIsReady(char letter, const DriveMap& drives);

// The drive check of a settings path: a POSIX path is ready when its file system answers,
// otherwise the first character is taken as the drive letter. An empty path raises
// "Not a valid drive ID".
[[nodiscard]] bool PathDriveIsReady(std::string_view path, const DriveMap& drives);

// A settings path as a Linux path: "C:\FBB\MAIL" becomes the folder of drive C followed by
// FBB/MAIL; a POSIX path stays; backslashes become slashes.
[[nodiscard]] std::filesystem::path MapSettingsPath(std::string_view path, const DriveMap& drives);

}  // namespace tidewire::platform
