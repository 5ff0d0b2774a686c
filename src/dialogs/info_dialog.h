#pragma once

#include <QDialog>

namespace tidewire::dialogs {

// The about text of "Info Tidewire".
extern const char* const kInfoText;

// TInfo1: the info dialog, a read-only about text and OK.
class TInfo1 : public QDialog {
  Q_OBJECT
 public:
  explicit TInfo1(QWidget* parent);
};

}  // namespace tidewire::dialogs
