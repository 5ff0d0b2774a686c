#pragma once

#include <string_view>

#include "base/drive_map.h"

namespace tidewire::platform {

class IniFile;

// Reads the [Drives] section; drive A defaults to /media/floppy.
[[nodiscard]] DriveMap DrivesFromIni(const IniFile& ini);

// True when the drive's file system answers. A lower-case letter is taken as its capital; a
// character outside A to Z raises "Not a valid drive ID".
[[nodiscard]] bool DriveIsReady(char letter, const DriveMap& drives);

// The drive check of a settings path: a POSIX path is ready when its file system answers,
// otherwise the first character is taken as the drive letter. An empty path raises
// "Not a valid drive ID".
[[nodiscard]] bool PathDriveIsReady(std::string_view path, const DriveMap& drives);

}  // namespace tidewire::platform
