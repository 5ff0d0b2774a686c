#pragma once

#include <QWidget>
#include <filesystem>
#include <string>

namespace tidewire::app {

// WindowPlacementFile: a window's size, position and state in section "WindowsRestorer" of the
// program's INI file, keys NAME_Width, _Height, _Top, _Left and _WindowState (1 minimised,
// 2 normal, 3 maximised).
class WindowPlacementFile {
 public:
  WindowPlacementFile(std::filesystem::path ini_file, std::string window_name);

  // Writes all five keys, keeping the rest of the file; raises the file layer's error.
  void Save(const QWidget& window) const;
  // The state first (a missing or unknown value leaves it), then size and position, each
  // defaulting to the window's current value.
  void Restore(QWidget& window) const;

 private:
  std::filesystem::path ini_file_;
  std::string name_;
};

}  // namespace tidewire::app
