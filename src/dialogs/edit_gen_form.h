#pragma once

#include <QDialog>
#include <array>

#include "base/station.h"
#include "config/settings_commands.h"
#include "config/settings_file.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

class QGridLayout;

namespace tidewire::dialogs {

// The general settings dialog: edits TWIRE.CFG and switches the flag files ACK, LCOPY,
// WATCH.DOG and A_READ. Reads TWIRE.CFG when it is made.
class TEditGenForm1 : public QDialog {
  Q_OBJECT
 public:
  static constexpr std::size_t kTextFieldCount = 15;

  TEditGenForm1(Station& station, QWidget* parent);

  // Shows in the two-digit entry field what the last load of the configuration put there
  // (FrontPanel::after_x_entry); the main window calls it after a pass.
  void ShowAfterXMessageEntry();
  // The text of the AT field, for the list editor's example.
  [[nodiscard]] QString AtText() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  QGridLayout* BuildFlags();
  void FormCreate();
  void ShowFields(const config::SettingsFields& fields);
  [[nodiscard]] config::SettingsFields FieldsShown() const;
  void SetCaptions();

  void NewsHeadersButtonClick();
  void MailHeadersButtonClick();
  void SwapButtonClick();
  void NewsGroupsButtonClick();
  void MarkReadButtonClick();
  void AdvancedButtonClick();
  // Runs the account check for the servers as typed (saved or not) and shows its report.
  void TestButtonClick();
  void OKButtonClick();

  Station& station_;
  config::SettingsFields read_;  // as read, for what the controls do not show
  std::array<QLineEdit*, kTextFieldCount> text_fields_{};
  QPushButton* news_headers_ = nullptr;
  QPushButton* mail_headers_ = nullptr;
  QPushButton* swap_ = nullptr;
  QPushButton* test_ = nullptr;
  QLineEdit* stored_after_x_ = nullptr;
  QLineEdit* after_x_entry_ = nullptr;
  QLineEdit* code_ = nullptr;
  QCheckBox* universal_from_ = nullptr;
};

}  // namespace tidewire::dialogs
