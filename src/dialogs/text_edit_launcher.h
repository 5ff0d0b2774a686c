#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <string_view>

#include "base/station.h"

namespace tidewire::dialogs {

// One file of the launcher: its button, the text beside it, the file the editor opens.
struct LaunchedFile {
  const char* button;
  const char* text;
  std::string_view file;
};

// The six files of the launcher, in their order.
extern const std::array<LaunchedFile, 6> kLaunchedFiles;

// TTextEDIT: opens the gateway's text files in the text editor. Its creation reads the flag
// file "autogo": AutoGO mode goes on, and whoever made it presses GO (AutoGoStartDue).
class TTextEDIT : public QDialog {
  Q_OBJECT
 public:
  TTextEDIT(Station& station, QWidget* parent);

  // The flag file was there at creation: a pass is to run now.
  [[nodiscard]] bool AutoGoStartDue() const { return auto_go_start_due_; }

 private:
  void Launch(const LaunchedFile& file);

  Station& station_;
  bool auto_go_start_due_ = false;
};

}  // namespace tidewire::dialogs
