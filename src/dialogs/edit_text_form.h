#pragma once

#include <QDialog>
#include <string>
#include <string_view>

#include "base/station.h"

class QLabel;
class QPlainTextEdit;

namespace tidewire::dialogs {

// The newsgroup list editor: the newsgroup file on the left, TWIRE.PTI on the right, line n
// of one beside line n of the other.
class TEditTextForm : public QDialog {
  Q_OBJECT
 public:
  TEditTextForm(Station& station, QWidget* parent);

  // Loads the left area from the named file of the working directory, the right one from
  // TWIRE.PTI, and names the window after the file. False (after the error box) on failure.
  bool LoadFile(std::string_view name);

 private:
  void OKButtonClick();

  Station& station_;
  std::string file_name_;
  QPlainTextEdit* newsgroups_ = nullptr;
  QPlainTextEdit* packet_ = nullptr;
  QLabel* example_ = nullptr;
};

}  // namespace tidewire::dialogs
