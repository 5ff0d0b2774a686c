#include "app/window_placement.h"

#include <charconv>
#include <optional>
#include <utility>

#include "platform/ini_file.h"

namespace tidewire::app {

namespace {

constexpr const char* kSection = "WindowsRestorer";

std::optional<int> Number(const platform::IniFile& ini, const std::string& key) {
  const std::optional<std::string> value = ini.Get(kSection, key);
  if (!value) return std::nullopt;
  int number = 0;
  const char* end = value->data() + value->size();
  const auto [stop, error] = std::from_chars(value->data(), end, number);
  if (error != std::errc() || stop != end) return std::nullopt;
  return number;
}

}  // namespace

WindowPlacementFile::WindowPlacementFile(std::filesystem::path ini_file, std::string window_name)
    : ini_file_(std::move(ini_file)), name_(std::move(window_name)) {}

void WindowPlacementFile::Save(const QWidget& window) const {
  platform::IniFile ini = platform::IniFile::Load(ini_file_);
  const int state = window.isMinimized() ? 1 : window.isMaximized() ? 3 : 2;
  // The normal geometry, so a minimised or maximised window comes back where it was.
  const QRect normal = window.isMinimized() || window.isMaximized()
                           ? window.normalGeometry()
                           : QRect(window.pos(), window.size());
  ini.Set(kSection, name_ + "_Width", std::to_string(normal.width()));
  ini.Set(kSection, name_ + "_Height", std::to_string(normal.height()));
  ini.Set(kSection, name_ + "_Top", std::to_string(normal.y()));
  ini.Set(kSection, name_ + "_Left", std::to_string(normal.x()));
  ini.Set(kSection, name_ + "_WindowState", std::to_string(state));
  ini.Save(ini_file_);
}

void WindowPlacementFile::Restore(QWidget& window) const {
  const platform::IniFile ini = platform::IniFile::Load(ini_file_);
  switch (Number(ini, name_ + "_WindowState").value_or(0)) {
    case 1:
      window.setWindowState(Qt::WindowMinimized);
      break;
    case 2:
      window.setWindowState(Qt::WindowNoState);
      break;
    case 3:
      window.setWindowState(Qt::WindowMaximized);
      break;
    default:
      break;
  }
  const int width = Number(ini, name_ + "_Width").value_or(window.width());
  const int height = Number(ini, name_ + "_Height").value_or(window.height());
  const int top = Number(ini, name_ + "_Top").value_or(window.y());
  const int left = Number(ini, name_ + "_Left").value_or(window.x());
  window.resize(width, height);
  window.move(left, top);
}

}  // namespace tidewire::app
