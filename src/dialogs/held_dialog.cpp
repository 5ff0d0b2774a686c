#include "dialogs/held_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "cycle/held_commands.h"
#include "dialogs/dialog_support.h"

namespace tidewire::dialogs {

THeldDialog::THeldDialog(Station& station, QWidget* parent) : QDialog(parent), station_(station) {
  setObjectName("THeldDialog");
  setWindowTitle("Held off the air");
  list_ = new QListWidget(this);
  list_->setObjectName("HeldList");
  auto* release = new QPushButton("Release", this);
  release->setObjectName("ReleaseButton");
  release->setToolTip("The next pass puts the selected e-mail on the air");
  auto* drop = new QPushButton("Drop", this);
  drop->setObjectName("DropButton");
  drop->setToolTip("Keeps the selected e-mail in HELD/DROPPED, off the air");
  auto* close = new QPushButton("Close", this);
  for (QPushButton* button : {release, drop, close}) button->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(release);
  buttons->addWidget(drop);
  buttons->addStretch();
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Number, sender, subject, size, why it was held:", this));
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);
  resize(640, 300);
  connect(release, &QPushButton::clicked, this, &THeldDialog::ReleaseClick);
  connect(drop, &QPushButton::clicked, this, &THeldDialog::DropClick);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  Fill();
}

void THeldDialog::Fill() {
  list_->clear();
  RunCommand(station_, [this] {
    for (const std::string& line : cycle::HeldLines(station_.work_dir)) list_->addItem(ToQt(line));
  });
  if (list_->count() > 0) list_->setCurrentRow(0);
}

int THeldDialog::SelectedNumber() const {
  const QListWidgetItem* item = list_->currentItem();
  return item == nullptr ? 0 : item->text().trimmed().section(' ', 0, 0).toInt();
}

void THeldDialog::ReleaseClick() {
  if (const int n = SelectedNumber(); n > 0) {
    RunCommand(station_,
               [&] { (void)cycle::ReleaseHeldMessage(station_.work_dir, station_.op, n); });
  }
  Fill();
}

void THeldDialog::DropClick() {
  if (const int n = SelectedNumber(); n > 0) {
    RunCommand(station_, [&] {
      (void)cycle::DropHeldMessage(station_.work_dir, station_.op, station_.Now(), n);
    });
  }
  Fill();
}

}  // namespace tidewire::dialogs
