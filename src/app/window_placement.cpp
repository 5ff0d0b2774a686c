#include "app/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <charconv>
#include <optional>
#include <utility>

#include "platform/ini_file.h"

namespace tidewire::app {

namespace {

constexpr const char* kSection = "WindowsRestorer";

std::optional<int> Number(const platform::IniFile& ini, const std::string& section,
                          const std::string& key) {
  const std::optional<std::string> value = ini.Get(section, key);
  if (!value) return std::nullopt;
  int number = 0;
  const char* end = value->data() + value->size();
  const auto [stop, error] = std::from_chars(value->data(), end, number);
  if (error != std::errc() || stop != end) return std::nullopt;
  return number;
}

std::vector<QRect> AvailableScreens() {
  std::vector<QRect> areas;
  if (QScreen* primary = QGuiApplication::primaryScreen())
    areas.push_back(primary->availableGeometry());
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen != QGuiApplication::primaryScreen()) areas.push_back(screen->availableGeometry());
  }
  return areas;
}

}  // namespace

QRect OnScreen(const QRect& rect, const std::vector<QRect>& screens, int title) {
  if (screens.empty()) return rect;
  const QRect framed = rect.adjusted(0, -title, 0, 0);
  const QRect* best = nullptr;
  long long best_area = 0;
  for (const QRect& screen : screens) {
    if (screen.contains(framed)) return rect;
    const QRect common = screen.intersected(framed);
    const long long area = static_cast<long long>(common.width()) * common.height();
    if (area > best_area) {
      best_area = area;
      best = &screen;
    }
  }
  QRect placed = rect;
  if (best == nullptr) {
    placed.moveCenter(screens.front().center());
    best = &screens.front();
  }
  // Inside the screen, the title bar first when the window is taller than the screen.
  placed.moveRight(std::min(placed.right(), best->right()));
  placed.moveLeft(std::max(placed.left(), best->left()));
  placed.moveBottom(std::min(placed.bottom(), best->bottom()));
  placed.moveTop(std::max(placed.top(), best->top() + title));
  return placed;
}

WindowPlacementFile::WindowPlacementFile(std::filesystem::path ini_file, std::string window_name,
                                         const std::filesystem::path& station)
    : ini_file_(std::move(ini_file)),
      name_(std::move(window_name)),
      section_(station.empty()
                   ? std::string(kSection)
                   : std::string(kSection) + " " +
                         std::filesystem::absolute(station).lexically_normal().string()) {}

void WindowPlacementFile::Save(const QWidget& window) const {
  platform::IniFile ini = platform::IniFile::Load(ini_file_);
  const int state = window.isMinimized() ? 1 : window.isMaximized() ? 3 : 2;
  // The inside, in normal state, so that a minimised or maximised window comes back where it was.
  const QRect normal =
      window.isMinimized() || window.isMaximized() ? window.normalGeometry() : window.geometry();
  ini.Set(section_, name_ + "_Width", std::to_string(normal.width()));
  ini.Set(section_, name_ + "_Height", std::to_string(normal.height()));
  ini.Set(section_, name_ + "_Top", std::to_string(normal.y()));
  ini.Set(section_, name_ + "_Left", std::to_string(normal.x()));
  ini.Set(section_, name_ + "_WindowState", std::to_string(state));
  ini.Save(ini_file_);
}

int WindowPlacementFile::Restore(QWidget& window) const {
  const platform::IniFile ini = platform::IniFile::Load(ini_file_);
  const std::string section =
      ini.Get(section_, name_ + "_Left").has_value() ? section_ : std::string(kSection);
  const auto value = [&](const char* key, int fallback) {
    return Number(ini, section, name_ + key).value_or(fallback);
  };
  const QRect saved(value("_Left", window.x()), value("_Top", window.y()),
                    value("_Width", window.width()), value("_Height", window.height()));
  const int title = window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window);
  window.setGeometry(OnScreen(saved, AvailableScreens(), title));
  const int state = value("_WindowState", 0);
  return state >= 1 && state <= 3 ? state : 0;
}

}  // namespace tidewire::app
