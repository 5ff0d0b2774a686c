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

// TTextEDIT: opens the gateway's text files in the text editor. Its creation is the AutoGO
// hook: with the flag file "autogo" present, AutoGO mode goes on and `press_go` runs.
class TTextEDIT : public QDialog {
  Q_OBJECT
 public:
  TTextEDIT(Station& station, const std::function<void()>& press_go, QWidget* parent);

 private:
  void Launch(const LaunchedFile& file);

  Station& station_;
};

}  // namespace tidewire::dialogs
