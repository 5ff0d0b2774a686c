#include "dialogs/edit_gen_form.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <algorithm>

#include "config/flag_files.h"
#include "cycle/account_check.h"
#include "dialogs/dialog_support.h"
#include "dialogs/edit_text_form.h"
#include "platform/launcher.h"

namespace tidewire::dialogs {

namespace {

using config::SettingsFields;

// Lines 1 to 15: the field, the control's name, its label and the label's hint.
struct TextControl {
  std::string SettingsFields::*field;
  const char* name;
  const char* label;
  const char* hint;
};

constexpr std::array<TextControl, TEditGenForm1::kTextFieldCount> kTextControls = {{
    {&SettingsFields::MailinDIR, "MailinDIR", "Mail.in-DIR", nullptr},
    {&SettingsFields::HRoute, "HRoute", "H-ROUTE", nullptr},
    {&SettingsFields::QTH, "QTH", "QTH", nullptr},
    {&SettingsFields::BBSCall, "BBSCall", "BBS Call", nullptr},
    {&SettingsFields::AT2, "AT2", "EMAIL to:", "All NON personal email (SPAM etc)"},
    {&SettingsFields::Remailer, "Remailer", "Remailer", nullptr},
    {&SettingsFields::InfoLine, "InfoLine", "Info-Line 1", nullptr},
    {&SettingsFields::InfoLine2, "InfoLine2", "Info-Line 2", "Displayed in 50% of all messages"},
    {&SettingsFields::AT, "AT", "@xxxxxx", nullptr},
    {&SettingsFields::SMTPmailserver, "SMTPmailserver", "SMTP-Mailserver", nullptr},
    {&SettingsFields::POP3mailserver, "POP3mailserver", "POP-Mailserver", nullptr},
    {&SettingsFields::NewsServer, "NewsServer", "NewsServer", nullptr},
    {&SettingsFields::UserID, "UserID", "UserID", nullptr},
    {&SettingsFields::PassWord, "PassWord", "Password", nullptr},
    {&SettingsFields::EmailAccount, "EmailAccount", "Email Account", nullptr},
}};
constexpr std::size_t kFirstServerLine = 10;
constexpr std::size_t kRemailerLine = 6;
constexpr std::size_t kPasswordLine = 14;
constexpr std::size_t kAtLine = 9;

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  // Enter in a field must not press a button (OK would save half-typed settings).
  button->setAutoDefault(false);
  return button;
}

QLineEdit* MakeField(QWidget* parent, const char* name) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(name);
  return field;
}

// A field as wide as its text (up to a limit, past which the tooltip holds the rest): an info
// line or an account cut at the edge would be saved unread.
void FitWidthToText(QLineEdit* field, const char* hint) {
  constexpr int kMostCharacters = 64;
  const auto fit = [field, hint] {
    const QFontMetrics metrics(field->font());
    const int character = metrics.averageCharWidth();
    const int text = metrics.horizontalAdvance(field->text()) + 3 * character;  // frame, cursor
    field->setMinimumWidth(std::min(text, kMostCharacters * character));
    QString tip = hint != nullptr ? QString::fromLatin1(hint) : QString();
    if (text > kMostCharacters * character) tip += (tip.isEmpty() ? "" : "\n") + field->text();
    field->setToolTip(tip);
  };
  QObject::connect(field, &QLineEdit::textChanged, field, fit);
  fit();
}

void ForceLowerCase(QLineEdit* field) {
  QObject::connect(field, &QLineEdit::textEdited, field, [field](const QString& text) {
    const QString lower = text.toLower();
    if (lower == text) return;
    const int cursor = field->cursorPosition();
    field->setText(lower);
    field->setCursorPosition(cursor);
  });
}

}  // namespace

TEditGenForm1::TEditGenForm1(Station& station, QWidget* parent)
    : QDialog(parent), station_(station) {
  setObjectName("TEditGenForm1");
  setWindowTitle("Settings");
  BuildControls();
  FormCreate();
}

void TEditGenForm1::BuildControls() {
  auto* general = new QGridLayout;
  auto* server_group = new QGroupBox("Server Settings", this);
  auto* server = new QGridLayout(server_group);
  for (std::size_t i = 0; i < kTextControls.size(); ++i) {
    const TextControl& control = kTextControls[i];
    QLineEdit* field = MakeField(this, control.name);
    auto* label = new QLabel(control.label, this);
    label->setBuddy(field);
    if (control.hint != nullptr) label->setToolTip(control.hint);
    // The password is never shown, not even in a tooltip.
    if (i + 1 != kPasswordLine) FitWidthToText(field, control.hint);
    const bool in_server_group = i + 1 >= kFirstServerLine;
    QGridLayout* grid = in_server_group ? server : general;
    const int row = static_cast<int>(in_server_group ? i + 1 - kFirstServerLine : i);
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
    text_fields_[i] = field;
  }
  ForceLowerCase(text_fields_[kRemailerLine - 1]);
  QLineEdit* password = text_fields_[kPasswordLine - 1];
  password->setEchoMode(QLineEdit::Password);
  password->setStyleSheet("lineedit-password-character: 42");  // "*"

  QGridLayout* flags = BuildFlags();

  auto* group_box = new QGroupBox("Group Settings", this);
  auto* group = new QHBoxLayout(group_box);
  auto* news_groups = MakeButton(this, "NewsGroupsButton", "NewsGroups");
  group->addWidget(new QLabel("Subscribed Newsgroups", this));
  group->addWidget(news_groups);

  auto* mark_read = MakeButton(this, "MarkReadButton", "Mark all messages as READ");
  auto* advanced = MakeButton(this, "AdvancedButton", "Advanced");
  test_ = MakeButton(this, "TestButton", "Test");
  test_->setToolTip(
      "Connect to the three servers as typed here, log in and count the mail; nothing is"
      " fetched, sent or changed");
  auto* ok = MakeButton(this, "OKButton", "OK");
  auto* abort = MakeButton(this, "AbortButton", "Abort");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(mark_read);
  buttons->addWidget(advanced);
  buttons->addWidget(test_);
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(abort);

  auto* right = new QVBoxLayout;
  right->addWidget(server_group);
  right->addWidget(group_box);
  right->addStretch();
  auto* top = new QHBoxLayout;
  top->addLayout(general);
  top->addLayout(right);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(flags);
  layout->addLayout(buttons);

  connect(news_headers_, &QPushButton::clicked, this, [this] { NewsHeadersButtonClick(); });
  connect(mail_headers_, &QPushButton::clicked, this, [this] { MailHeadersButtonClick(); });
  connect(swap_, &QPushButton::clicked, this, [this] { SwapButtonClick(); });
  connect(news_groups, &QPushButton::clicked, this, [this] { NewsGroupsButtonClick(); });
  connect(mark_read, &QPushButton::clicked, this, [this] { MarkReadButtonClick(); });
  connect(advanced, &QPushButton::clicked, this, [this] { AdvancedButtonClick(); });
  connect(test_, &QPushButton::clicked, this, [this] { TestButtonClick(); });
  connect(ok, &QPushButton::clicked, this, [this] { OKButtonClick(); });
  connect(abort, &QPushButton::clicked, this, &QDialog::reject);
}

// The header, swap and info-message controls under the text fields.
QGridLayout* TEditGenForm1::BuildFlags() {
  news_headers_ = MakeButton(this, "NewsHeadersButton", "");
  mail_headers_ = MakeButton(this, "MailHeadersButton", "");
  swap_ = MakeButton(this, "SwapButton", "");
  stored_after_x_ = MakeField(this, "AfterXMessageStored");
  stored_after_x_->setReadOnly(true);
  after_x_entry_ = MakeField(this, "AfterXMessageEntry");
  after_x_entry_->setPlaceholderText("xx");
  after_x_entry_->setMaxLength(2);
  after_x_entry_->setValidator(
      new QRegularExpressionValidator(QRegularExpression("[0-9]{0,2}"), after_x_entry_));
  code_ = MakeField(this, "ConfigurationCode");
  code_->setMaxLength(1);
  universal_from_ =
      new QCheckBox("Universal FROM-field on packet (is always the same) see :", this);
  universal_from_->setObjectName("UniversalFrom");
  universal_from_->setToolTip("FROM-field when user enters 'L' in FBB");
  for (QLineEdit* small : {stored_after_x_, after_x_entry_, code_}) small->setMaximumWidth(40);

  auto* flags = new QGridLayout;
  flags->addWidget(new QLabel("Newsgroup Headers:", this), 0, 0);
  flags->addWidget(news_headers_, 0, 1, 1, 3);
  flags->addWidget(new QLabel("Personal email Headers:", this), 1, 0);
  flags->addWidget(mail_headers_, 1, 1, 1, 3);
  flags->addWidget(new QLabel("General INFO message after every", this), 2, 0);
  flags->addWidget(stored_after_x_, 2, 1);
  flags->addWidget(after_x_entry_, 2, 2);
  flags->addWidget(new QLabel("converted messages (00=disable)\n(01=max. 1 info msg)", this), 2, 3);
  flags->addWidget(new QLabel("Swap", this), 3, 0);
  flags->addWidget(swap_, 3, 1, 1, 3);
  flags->addWidget(new QLabel("Configuration code:", this), 4, 0);
  flags->addWidget(code_, 4, 1);
  flags->addWidget(new QLabel("1=default. See your manual!", this), 4, 2, 1, 2);
  flags->addWidget(universal_from_, 5, 0, 1, 4);

  return flags;
}

void TEditGenForm1::FormCreate() {
  // This instance is now the one whose entry field the next load fills; it starts empty.
  station_.panel.after_x_entry = "xx";
  read_ = SettingsFields::Placeholders();
  ShowFields(read_);
  RunCommand(station_, [this] {
    if (auto fields =
            config::ReadSettingsAtStart(station_.work_dir, station_.config, station_.op)) {
      read_ = std::move(*fields);
      ShowFields(read_);
    }
  });
  SetCaptions();
}

void TEditGenForm1::ShowFields(const SettingsFields& fields) {
  for (std::size_t i = 0; i < kTextControls.size(); ++i) {
    text_fields_[i]->setText(ToQt(fields.*kTextControls[i].field));
  }
  stored_after_x_->setText(ToQt(fields.AfterXMessageText));
  code_->setText(ToQt(fields.ConfigurationCode));
  universal_from_->setChecked(fields.UniversalFromChecked);
}

SettingsFields TEditGenForm1::FieldsShown() const {
  SettingsFields fields = read_;
  for (std::size_t i = 0; i < kTextControls.size(); ++i) {
    fields.*kTextControls[i].field = FromQt(text_fields_[i]->text());
  }
  fields.ConfigurationCode = FromQt(code_->text());
  fields.UniversalFromChecked = universal_from_->isChecked();
  return fields;
}

QString TEditGenForm1::AtText() const { return text_fields_[kAtLine - 1]->text(); }

void TEditGenForm1::SetCaptions() {
  const GatewayConfig& config = station_.config;
  news_headers_->setText(ToQt(config::HeaderButtonCaption(config.ShortNewsHeaders)));
  mail_headers_->setText(ToQt(config::HeaderButtonCaption(config.ShortMailHeaders)));
  swap_->setText(ToQt(config::SwapButtonCaption(FromQt(AtText()), config.SwapNewsAddress)));
}

void TEditGenForm1::ShowAfterXMessageEntry() {
  const std::string& entry = station_.panel.after_x_entry;
  after_x_entry_->setText(entry == "xx" ? QString() : ToQt(entry));
}

void TEditGenForm1::showEvent(QShowEvent* event) {
  ShowAfterXMessageEntry();
  QDialog::showEvent(event);
}

// The toggles act on GatewayConfig at once; only OK writes them to the file.
void TEditGenForm1::NewsHeadersButtonClick() {
  station_.config.ShortNewsHeaders = !station_.config.ShortNewsHeaders;
  SetCaptions();
}

void TEditGenForm1::MailHeadersButtonClick() {
  station_.config.ShortMailHeaders = !station_.config.ShortMailHeaders;
  SetCaptions();
}

void TEditGenForm1::SwapButtonClick() {
  station_.config.SwapNewsAddress = !station_.config.SwapNewsAddress;
  SetCaptions();
}

void TEditGenForm1::NewsGroupsButtonClick() {
  if (!RunCommand(station_, [this] { config::EnsureNewsListFiles(station_.work_dir); })) return;
  auto* editor = new TEditTextForm(station_, this);
  editor->LoadFile(config::kNewsrcFile);
  editor->show();
  editor->raise();
  editor->activateWindow();
}

void TEditGenForm1::MarkReadButtonClick() {
  RunCommand(station_, [this] { config::MarkAllMessagesRead(station_.work_dir, station_.op); });
}

void TEditGenForm1::AdvancedButtonClick() {
  RunCommand(station_, [this] { config::AskAdvancedQuestions(station_.work_dir, station_.op); });
}

void TEditGenForm1::TestButtonClick() {
  const SettingsFields fields = FieldsShown();
  test_->setEnabled(false);
  test_->setText("Testing...");
  const std::string report = cycle::CheckAccounts(
      station_.op, station_.work_dir,
      cycle::ServersToCheck(fields.SMTPmailserver, fields.POP3mailserver, fields.NewsServer),
      fields.UserID, fields.PassWord);
  test_->setText("Test");
  test_->setEnabled(true);
  InformationBox(station_.op, report);
}

void TEditGenForm1::OKButtonClick() {
  // The field holds two digits or nothing, which stands for the untouched "xx".
  const QString typed = after_x_entry_->text();
  if (!typed.isEmpty() && !QRegularExpression("^[0-9]{2}$").match(typed).hasMatch()) {
    WarningBox(station_.op, "Enter two digits for the general INFO message (00=disable).");
    after_x_entry_->setFocus();
    return;
  }
  const std::string entry = typed.isEmpty() ? std::string("xx") : FromQt(typed);
  if (RunCommand(station_, [&] {
        config::WriteSettingsFile(station_.work_dir, station_.config, FieldsShown(), entry);
      })) {
    accept();
  }
}

}  // namespace tidewire::dialogs
