#pragma once

#include <filesystem>
#include <map>
#include <string_view>

namespace tidewire {

// Drive letters of the settings mapped to folders ([Drives] of the program's INI file). Plain
// path arithmetic: whether a drive answers is the platform's question.
struct DriveMap {
  std::map<char, std::filesystem::path> folders;  // key: capital letter

  // The folder of a drive letter (any case); empty when it is not mapped. A character outside
  // A to Z raises "Not a valid drive ID".
  [[nodiscard]] std::filesystem::path FolderOf(char letter) const;
};

// The capital of a drive letter; "Not a valid drive ID" for anything that is no letter.
[[nodiscard]] char DriveLetter(char c);

// A settings path as a Linux path: "C:\FBB\MAIL" becomes the folder of drive C followed by
// FBB/MAIL; a POSIX path stays; backslashes become slashes.
[[nodiscard]] std::filesystem::path MapSettingsPath(std::string_view path, const DriveMap& drives);

}  // namespace tidewire
