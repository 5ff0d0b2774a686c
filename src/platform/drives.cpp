#include "platform/drives.h"

#include <sys/statvfs.h>

#include "base/errors.h"
#include "platform/ini_file.h"

namespace tidewire::platform {

namespace {

char DriveLetter(char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c < 'A' || c > 'Z') throw ConversionError("Not a valid drive ID");
  return c;
}

bool FileSystemAnswers(const std::filesystem::path& folder) {
  struct statvfs info {};
  return !folder.empty() && statvfs(folder.c_str(), &info) == 0;
}

std::string Slashes(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

}  // namespace

DriveMap DriveMap::FromIni(const IniFile& ini) {
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

std::filesystem::path DriveMap::FolderOf(char letter) const {
  const auto it = folders.find(DriveLetter(letter));
  return it == folders.end() ? std::filesystem::path() : it->second;
}

bool DriveIsReady(char letter, const DriveMap& drives) {
  return FileSystemAnswers(drives.FolderOf(letter));
}

bool PathDriveIsReady(std::string_view path, const DriveMap& drives) {
  if (!path.empty() && (path[0] == '/')) return FileSystemAnswers(std::filesystem::path(path));
  return DriveIsReady(path.empty() ? '\0' : path[0], drives);
}

std::filesystem::path MapSettingsPath(std::string_view path, const DriveMap& drives) {
  if (path.size() >= 2 && path[1] == ':') {
    const std::filesystem::path folder = drives.FolderOf(path[0]);
    std::string rest = Slashes(path.substr(2));
    while (!rest.empty() && rest.front() == '/') rest.erase(rest.begin());
    if (folder.empty())
      return std::filesystem::path("/nonexistent-drive-" + std::string(1, path[0])) / rest;
    return rest.empty() ? folder : folder / rest;
  }
  return std::filesystem::path(Slashes(path));
}

}  // namespace tidewire::platform
