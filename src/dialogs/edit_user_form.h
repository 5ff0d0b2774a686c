#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "base/station.h"
#include "config/user_settings.h"

class QLabel;
class QLineEdit;
class QListWidget;

namespace tidewire::dialogs {

// The user settings dialog: the 100 slots of USER.DAT, read when it is made and written on
// every SAVE and DEL; the manual sent to a user through MAIL.IN.
class TEditUserForm1 : public QDialog {
  Q_OBJECT
 public:
  // Opens a web address in the browser without waiting.
  // Returns why the address could not be opened, "" when it was.
  using DesktopOpener = std::function<std::string(const std::string&)>;

  TEditUserForm1(Station& station, QWidget* parent);

  // platform::OpenWithDesktop unless replaced (tests).
  void SetDesktopOpener(DesktopOpener opener) { open_desktop_ = std::move(opener); }

 private:
  void BuildControls();
  std::vector<QPushButton*> BuildButtons();
  void FormCreate();
  void ShowSlot(int k);
  [[nodiscard]] int SelectedSlot() const;
  [[nodiscard]] UserRecord Entries() const;
  void ShowEntries(const UserRecord& entries);

  void NewButtonClick();
  void SaveButtonClick();
  void DelButtonClick();
  void NewDatabaseButtonClick();
  void FindCallButtonClick();
  void SendManualButtonClick();
  void Service1ButtonClick();
  void Service2ButtonClick();

  Station& station_;
  DesktopOpener open_desktop_;
  void OpenService(const std::string& address);
  config::UserSlots slots_;
  QListWidget* list_ = nullptr;
  QLabel* record_ = nullptr;
  QLineEdit* call_ = nullptr;
  QLineEdit* home_bbs_ = nullptr;
  QLineEdit* real_name_ = nullptr;
  QLineEdit* remailer_ = nullptr;
  QLineEdit* find_call_ = nullptr;
};

}  // namespace tidewire::dialogs
