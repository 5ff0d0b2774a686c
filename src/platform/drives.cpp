#include "platform/drives.h"

#include <sys/statvfs.h>

#include "base/errors.h"
#include "platform/ini_file.h"

namespace tidewire::platform {

namespace {

bool FileSystemAnswers(const std::filesystem::path& folder) {
  struct statvfs info {};
  return !folder.empty() && statvfs(folder.c_str(), &info) == 0;
}

}  // namespace

DriveMap DrivesFromIni(const IniFile& ini) {
  DriveMap map;
  map.folders['A'] = "/media/floppy";
  for (const auto& [key, value] : ini.Section("Drives")) {
    if (key.size() != 1 && !(key.size() == 2 && key[1] == ':')) continue;
    try {
      map.folders[DriveLetter(key[0])] = value;
    } catch (const ConversionError&) {
      // Not a drive key; the rest of the section still counts.
    }
  }
  return map;
}

bool DriveIsReady(char letter, const DriveMap& drives) {
  return FileSystemAnswers(drives.FolderOf(letter));
}

bool PathDriveIsReady(std::string_view path, const DriveMap& drives) {
  if (!path.empty() && (path[0] == '/')) return FileSystemAnswers(std::filesystem::path(path));
  return DriveIsReady(path.empty() ? '\0' : path[0], drives);
}

}  // namespace tidewire::platform
