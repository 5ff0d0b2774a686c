#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tidewire::platform {

// The program's INI file: window placement and the drive map. Keys keep their order.
class IniFile {
 public:
  using Entries = std::vector<std::pair<std::string, std::string>>;

  // Reads a file; a missing or unreadable one gives an empty INI.
  static IniFile Load(const std::filesystem::path& path);
  // $XDG_CONFIG_HOME/tidewire/tidewire.ini, default ~/.config.
  static std::filesystem::path DefaultPath();

  [[nodiscard]] std::optional<std::string> Get(const std::string& section,
                                               const std::string& key) const;
  void Set(const std::string& section, const std::string& key, const std::string& value);
  [[nodiscard]] const Entries& Section(const std::string& section) const;
  // Writes the file, creating its folder; raises the file layer's error on failure.
  void Save(const std::filesystem::path& path) const;

 private:
  std::vector<std::pair<std::string, Entries>> sections_;
};

}  // namespace tidewire::platform
