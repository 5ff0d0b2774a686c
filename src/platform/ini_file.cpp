#include "platform/ini_file.h"

#include <fstream>
#include <system_error>

#include "base/errors.h"
#include "base/file_layer.h"
#include "base/text.h"

namespace tidewire::platform {

namespace {

std::string Trim(const std::string& s) {
  const auto begin = s.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return {};
  const auto end = s.find_last_not_of(" \t\r");
  return s.substr(begin, end - begin + 1);
}

}  // namespace

IniFile IniFile::Load(const std::filesystem::path& path) {
  IniFile ini;
  std::ifstream in(path);
  std::string line;
  std::string section;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = Trim(line.substr(1, line.size() - 2));
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    ini.Set(section, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
  }
  return ini;
}

std::filesystem::path IniFile::DefaultPath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::filesystem::path base;
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::filesystem::path(home != nullptr ? home : ".") / ".config";
  }
  return base / "tidewire" / "tidewire.ini";
}

std::optional<std::string> IniFile::Get(const std::string& section, const std::string& key) const {
  for (const auto& [key_name, value] : Section(section)) {
    if (EqualsIgnoringCase(key_name, key)) return value;
  }
  return std::nullopt;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
  for (auto& [name, entries] : sections_) {
    if (!EqualsIgnoringCase(name, section)) continue;
    for (auto& [key_name, old] : entries) {
      if (EqualsIgnoringCase(key_name, key)) {
        old = value;
        return;
      }
    }
    entries.emplace_back(key, value);
    return;
  }
  sections_.push_back({section, {{key, value}}});
}

const IniFile::Entries& IniFile::Section(const std::string& section) const {
  static const Entries kEmpty;
  for (const auto& [name, entries] : sections_) {
    if (EqualsIgnoringCase(name, section)) return entries;
  }
  return kEmpty;
}

void IniFile::Save(const std::filesystem::path& path) const {
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  TextWriter out(path, TextWriter::Mode::kReplace);
  for (const auto& [name, entries] : sections_) {
    out.WriteLine("[" + name + "]");
    for (const auto& [key, value] : entries) out.WriteLine(key + "=" + value);
    out.WriteLine("");
  }
  out.Close();
}

}  // namespace tidewire::platform
