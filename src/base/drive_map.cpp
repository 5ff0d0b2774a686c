#include "base/drive_map.h"

#include <string>

#include "base/errors.h"

namespace tidewire {

namespace {

std::string Slashes(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

}  // namespace

char DriveLetter(char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c < 'A' || c > 'Z') throw ConversionError("Not a valid drive ID");
  return c;
}

std::filesystem::path DriveMap::FolderOf(char letter) const {
  const auto it = folders.find(DriveLetter(letter));
  return it == folders.end() ? std::filesystem::path() : it->second;
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

}  // namespace tidewire
