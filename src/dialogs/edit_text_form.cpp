#include "dialogs/edit_text_form.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/flag_files.h"
#include "config/news_lists.h"
#include "config/settings_commands.h"
#include "dialogs/dialog_support.h"
#include "dialogs/edit_gen_form.h"

namespace tidewire::dialogs {

namespace {

QPlainTextEdit* MakeArea(QWidget* parent, const char* name) {
  auto* area = new QPlainTextEdit(parent);
  area->setObjectName(name);
  // Wrapped lines would no longer stand beside their partners.
  area->setLineWrapMode(QPlainTextEdit::NoWrap);
  area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  return area;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TEditTextForm::TEditTextForm(Station& station, QWidget* parent)
    : QDialog(parent), station_(station) {
  setObjectName("TEditTextForm");
  newsgroups_ = MakeArea(this, "NewsgroupMemo");
  packet_ = MakeArea(this, "PacketMemo");

  // The AT field of the settings dialog that opened the editor; the instance made at start
  // has none and takes the loaded setting.
  const auto* settings = qobject_cast<const TEditGenForm1*>(parent);
  const std::string at = settings != nullptr ? FromQt(settings->AtText()) : station.config.AT;
  example_ = new QLabel(ToQt(config::NewsExampleAddress(at, station.config.SwapNewsAddress)), this);
  example_->setObjectName("ExampleAddress");

  auto* areas = new QGridLayout;
  areas->addWidget(new QLabel("Internet Newsgroup", this), 0, 0);
  areas->addWidget(new QLabel("Packet", this), 0, 1);
  areas->addWidget(newsgroups_, 1, 0);
  areas->addWidget(packet_, 1, 1);
  areas->setColumnStretch(0, 3);
  areas->setColumnStretch(1, 2);

  auto* example = new QGridLayout;
  example->addWidget(new QLabel("alt.hackers", this), 0, 0);
  example->addWidget(new QLabel("..........................", this), 0, 1);
  example->addWidget(new QLabel("HACK", this), 0, 2);
  example->addWidget(new QLabel("Example:", this), 1, 0);
  example->addWidget(example_, 1, 2);
  example->addWidget(new QLabel("-OR-", this), 2, 1);
  example->addWidget(new QLabel("SP XX1ABC @ XX0BBS", this), 2, 2);
  example->addWidget(new QLabel("-OR-", this), 3, 1);
  example->addWidget(new QLabel("SB HACK @ WW", this), 3, 2);

  auto* ok = MakeButton(this, "OKButton", "OK");
  auto* abort = MakeButton(this, "AbortButton", "Abort");
  connect(ok, &QPushButton::clicked, this, [this] { OKButtonClick(); });
  connect(abort, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(abort);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(areas, 1);
  layout->addLayout(example);
  layout->addLayout(buttons);
  resize(640, 420);
}

bool TEditTextForm::LoadFile(std::string_view name) {
  file_name_ = name;
  setWindowTitle(ToQt(name));
  return RunCommand(station_, [&] {
    newsgroups_->setPlainText(ToQt(config::AreaText(config::ReadListFile(station_.File(name)))));
    packet_->setPlainText(
        ToQt(config::AreaText(config::ReadListFile(station_.File(config::kNewsDestinationsFile)))));
  });
}

void TEditTextForm::OKButtonClick() {
  if (file_name_.empty()) {  // never loaded: nothing to save
    accept();
    return;
  }
  const bool saved = RunCommand(station_, [&] {
    config::WriteListFile(station_.File(file_name_),
                          config::AreaLines(FromQt(newsgroups_->toPlainText())));
    config::WriteListFile(station_.File(config::kNewsDestinationsFile),
                          config::AreaLines(FromQt(packet_->toPlainText())));
  });
  if (saved) accept();
}

}  // namespace tidewire::dialogs
