#pragma once

#include <QDialog>
#include <QListWidget>

#include "base/station.h"

namespace tidewire::dialogs {

// The e-mails held off the air (HELD/), one per row, with Release (the next pass puts it on
// the air) and Drop (kept in HELD/DROPPED) for the selected one.
class THeldDialog : public QDialog {
  Q_OBJECT
 public:
  THeldDialog(Station& station, QWidget* parent);

 private:
  void Fill();
  // The number of the selected row's e-mail; 0 when none is selected.
  [[nodiscard]] int SelectedNumber() const;
  void ReleaseClick();
  void DropClick();

  Station& station_;
  QListWidget* list_ = nullptr;
};

}  // namespace tidewire::dialogs
