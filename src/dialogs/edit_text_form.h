#pragma once

#include <QDialog>

#include "base/station.h"

namespace tidewire::dialogs {

// Placeholder until the dialog is built.
class TEditTextForm : public QDialog {
  Q_OBJECT
 public:
  TEditTextForm(Station& station, QWidget* parent);

 private:
  Station& station_;
};

}  // namespace tidewire::dialogs
