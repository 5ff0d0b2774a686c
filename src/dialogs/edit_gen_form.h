#pragma once

#include <QDialog>

#include "base/station.h"

namespace tidewire::dialogs {

// Placeholder until the dialog is built.
class TEditGenForm1 : public QDialog {
  Q_OBJECT
 public:
  TEditGenForm1(Station& station, QWidget* parent);

 private:
  Station& station_;
};

}  // namespace tidewire::dialogs
