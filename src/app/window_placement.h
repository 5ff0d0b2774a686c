#pragma once

#include <QRect>
#include <QWidget>
#include <filesystem>
#include <string>
#include <vector>

namespace tidewire::app {

// WindowPlacementFile: a window's size, position and state in the program's INI file, keys
// NAME_Width, _Height, _Top, _Left and _WindowState (1 minimised, 2 normal, 3 maximised).
// Each station keeps its own placement, in section "WindowsRestorer <station folder>"; a
// station without one starts from section "WindowsRestorer". Top and Left are the window's
// inside (without the frame the window manager adds), so a placement comes back exactly.
class WindowPlacementFile {
 public:
  WindowPlacementFile(std::filesystem::path ini_file, std::string window_name,
                      const std::filesystem::path& station = {});

  // Writes all five keys, keeping the rest of the file; raises the file layer's error.
  void Save(const QWidget& window) const;
  // Size and position (each defaulting to the window's current value), moved onto a screen,
  // and the saved state (0 when none or unknown), which the caller applies once the window is
  // shown.
  [[nodiscard]] int Restore(QWidget& window) const;

 private:
  std::filesystem::path ini_file_;
  std::string name_;
  std::string section_;
};

// Where a window of RECT's size goes so that all of it, its title bar (TITLE pixels above the
// inside) included, lies on one of SCREENS (their available areas): RECT itself when it does;
// pulled inside the screen it overlaps most; centred on the first screen when it overlaps none.
[[nodiscard]] QRect OnScreen(const QRect& rect, const std::vector<QRect>& screens, int title);

}  // namespace tidewire::app
