#include "dialogs/edit_user_form.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/dialog_support.h"
#include "inbound/user_manual.h"
#include "platform/launcher.h"

namespace tidewire::dialogs {

namespace {

constexpr const char* kService1Name = "GMX";
constexpr const char* kService1Address = "https://signup.gmx.com/";
constexpr const char* kService2Name = "mail.com";
constexpr const char* kService2Address = "https://www.mail.com/";

enum class Case { kUpper, kLower, kAsTyped };

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  // Enter in a field moves on; it must not press a button.
  button->setAutoDefault(false);
  return button;
}

QLineEdit* MakeField(QWidget* parent, const char* name, Case letter_case) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(name);
  if (letter_case != Case::kAsTyped) {
    QObject::connect(field, &QLineEdit::textEdited, field, [field, letter_case](const QString& t) {
      const QString forced = letter_case == Case::kUpper ? t.toUpper() : t.toLower();
      if (forced == t) return;
      const int cursor = field->cursorPosition();
      field->setText(forced);
      field->setCursorPosition(cursor);
    });
  }
  return field;
}

}  // namespace

TEditUserForm1::TEditUserForm1(Station& station, QWidget* parent)
    : QDialog(parent), station_(station), open_desktop_(platform::OpenWithDesktop) {
  setObjectName("TEditUserForm1");
  setWindowTitle("User Settings");
  BuildControls();
  FormCreate();
}

void TEditUserForm1::BuildControls() {
  list_ = new QListWidget(this);
  list_->setObjectName("UserList");
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  for (int k = 1; k <= config::UserSlots::kSlotCount; ++k) list_->addItem(QString());

  record_ = new QLabel(this);
  record_->setObjectName("RecordNumber");
  call_ = MakeField(this, "UserCALL", Case::kUpper);
  home_bbs_ = MakeField(this, "HomeBBS", Case::kUpper);
  real_name_ = MakeField(this, "RealName", Case::kAsTyped);
  remailer_ = MakeField(this, "RemailerAccount", Case::kLower);
  find_call_ = MakeField(this, "FindCallEdit", Case::kUpper);
  find_call_->setMaxLength(6);

  auto* fields = new QGridLayout;
  fields->addWidget(new QLabel("Record:", this), 0, 0);
  fields->addWidget(record_, 0, 1);
  const std::array<std::pair<const char*, QLineEdit*>, 4> labelled = {{
      {"UserCALL", call_},
      {"HomeBBS", home_bbs_},
      {"Real Name", real_name_},
      {"REMAILER account", remailer_},
  }};
  int row = 1;
  for (const auto& [label, field] : labelled) {
    fields->addWidget(new QLabel(label, this), row, 0);
    fields->addWidget(field, row++, 1);
    // Enter moves to the next control and inserts nothing.
    connect(field, &QLineEdit::returnPressed, this, [this] { focusNextChild(); });
  }

  const std::vector<QPushButton*> buttons = BuildButtons();
  auto* edit_row = new QHBoxLayout;
  for (std::size_t i = 0; i < 5; ++i) edit_row->addWidget(buttons[i]);
  auto* find_row = new QHBoxLayout;
  find_row->addWidget(find_call_);
  find_row->addWidget(buttons[6]);
  find_row->addStretch();
  find_row->addWidget(buttons[5]);
  auto* service_row = new QHBoxLayout;
  service_row->addWidget(new QLabel("New e-mail account:", this));
  service_row->addWidget(buttons[7]);
  service_row->addWidget(buttons[8]);
  service_row->addStretch();

  auto* right = new QVBoxLayout;
  right->addLayout(fields);
  right->addLayout(edit_row);
  right->addLayout(find_row);
  right->addLayout(service_row);
  right->addStretch();
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(list_);
  layout->addLayout(right, 1);

  connect(list_, &QListWidget::currentRowChanged, this, [this](int r) {
    if (r >= 0) ShowSlot(r + 1);
  });
}

// The nine buttons, each wired to its handler, in the order they are laid out.
std::vector<QPushButton*> TEditUserForm1::BuildButtons() {
  struct ButtonDef {
    const char* name;
    QString caption;
    void (TEditUserForm1::*click)();
  };
  const std::array<ButtonDef, 9> defs = {{
      {"NewButton", "NEW", &TEditUserForm1::NewButtonClick},
      {"SaveButton", "SAVE", &TEditUserForm1::SaveButtonClick},
      {"DelButton", "DEL", &TEditUserForm1::DelButtonClick},
      {"SendManualButton", "Send Manual", &TEditUserForm1::SendManualButtonClick},
      {"ExitButton", "EXIT", nullptr},
      {"NewDatabaseButton", "New Database", &TEditUserForm1::NewDatabaseButtonClick},
      {"FindCallButton", "Find Call", &TEditUserForm1::FindCallButtonClick},
      {"Service1Button", kService1Name, &TEditUserForm1::Service1ButtonClick},
      {"Service2Button", kService2Name, &TEditUserForm1::Service2ButtonClick},
  }};
  std::vector<QPushButton*> buttons;
  for (const ButtonDef& def : defs) {
    QPushButton* button = MakeButton(this, def.name, def.caption);
    if (def.click == nullptr) {
      connect(button, &QPushButton::clicked, this, &QDialog::reject);
    } else {
      connect(button, &QPushButton::clicked, this, [this, click = def.click] { (this->*click)(); });
    }
    buttons.push_back(button);
  }
  return buttons;
}

void TEditUserForm1::FormCreate() {
  RunCommand(station_, [this] { slots_ = config::ReadUserSlots(station_.work_dir, station_.op); });
  for (int k = 1; k <= config::UserSlots::kSlotCount; ++k) {
    list_->item(k - 1)->setText(ToQt(slots_[k].RowText));
  }
  list_->setCurrentRow(0);
  ShowSlot(1);
}

void TEditUserForm1::ShowSlot(int k) {
  ShowEntries(slots_[k].Record);
  record_->setText(QString::number(k));
}

int TEditUserForm1::SelectedSlot() const { return std::max(list_->currentRow(), 0) + 1; }

UserRecord TEditUserForm1::Entries() const {
  UserRecord entries;
  entries.UserCALL = FromQt(call_->text());
  entries.HomeBBS = FromQt(home_bbs_->text());
  entries.RealName = FromQt(real_name_->text());
  entries.RemailerAccount = FromQt(remailer_->text());
  return entries;
}

void TEditUserForm1::ShowEntries(const UserRecord& entries) {
  call_->setText(ToQt(entries.UserCALL));
  home_bbs_->setText(ToQt(entries.HomeBBS));
  real_name_->setText(ToQt(entries.RealName));
  remailer_->setText(ToQt(entries.RemailerAccount));
}

void TEditUserForm1::NewButtonClick() {
  const int k = slots_.FirstFreeSlot();
  if (k == 0) {
    InformationBox(station_.op, "No empty slot found");
    return;
  }
  list_->setCurrentRow(k - 1);
  ShowSlot(k);
  call_->setFocus();
}

void TEditUserForm1::SaveButtonClick() {
  const int k = SelectedSlot();
  UserRecord entries = Entries();
  bool stored = false;
  RunCommand(station_, [&] {
    stored = config::SaveUserSlot(station_.work_dir, station_.op, slots_, k, entries);
  });
  ShowEntries(entries);
  list_->item(k - 1)->setText(ToQt(slots_[k].RowText));
  // The passes read USER.DAT once, at start.
  if (stored) {
    InformationBox(station_.op, "User " + slots_[k].Record.UserCALL +
                                    " saved in USER.DAT.\rThe passes see the change after "
                                    "Tidewire is restarted.");
  }
}

void TEditUserForm1::DelButtonClick() {
  const int k = SelectedSlot();
  RunCommand(station_, [&] { config::DeleteUserSlot(station_.work_dir, slots_, k); });
  list_->item(k - 1)->setText(QString());
  ShowEntries(UserRecord{});
}

void TEditUserForm1::NewDatabaseButtonClick() {
  bool created = false;
  RunCommand(station_,
             [&] { created = config::CreateNewUserDatabase(station_.work_dir, station_.op); });
  if (created) accept();
}

void TEditUserForm1::FindCallButtonClick() {
  const std::string call = FromQt(find_call_->text());
  const int k = slots_.FindCall(call);
  if (k == 0) {
    if (!call.empty()) InformationBox(station_.op, "Call " + call + " not found");
    return;
  }
  list_->setCurrentRow(k - 1);
  ShowSlot(k);
  find_call_->clear();
}

void TEditUserForm1::SendManualButtonClick() {
  const int k = SelectedSlot();
  RunCommand(station_,
             [&] { inbound::SendManual(station_.work_dir, station_.op, slots_[k].Record); });
}

void TEditUserForm1::Service1ButtonClick() {
  InformationBox(station_.op,
                 std::string("1. Create a new account for the packet user at ") + kService1Name +
                     ".\r2. Choose forwarding of the mail to the user's address as the "
                     "account's e-mail service.\r3. Fill in this dialog with the user's call, "
                     "home BBS, name and the new e-mail address.");
  OpenService(kService1Address);
}

void TEditUserForm1::Service2ButtonClick() { OpenService(kService2Address); }

void TEditUserForm1::OpenService(const std::string& address) {
  OpenFailureBox(station_.op, address, open_desktop_(address));
}

}  // namespace tidewire::dialogs
