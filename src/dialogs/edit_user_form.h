#pragma once

#include <QDialog>

#include "base/station.h"

namespace tidewire::dialogs {

// Placeholder until the dialog is built.
class TEditUserForm1 : public QDialog {
  Q_OBJECT
 public:
  TEditUserForm1(Station& station, QWidget* parent);

 private:
  Station& station_;
};

}  // namespace tidewire::dialogs
