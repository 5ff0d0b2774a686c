#include "dialogs/text_edit_launcher.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "base/errors.h"
#include "base/file_layer.h"
#include "config/flag_files.h"
#include "platform/launcher.h"

namespace tidewire::dialogs {

namespace {

constexpr std::string_view kBroadcastFile = "bmes.txt";

}  // namespace

const std::array<LaunchedFile, 6> kLaunchedFiles = {{
    {"Users Manual", "Edit the Users Manual", "twire.man"},
    {"SERVER: InfoMessage",
     "This file will be send to a packetuser when he send an info-servermessage request",
     "info.tdw"},
    {"Info PacketMessage",
     "This message will be send to Packet after 20 converted messages from Internet to Packet "
     "Radio",
     "twire.sim"},
    {"LOG-file", "Edit / Read LOG-file", "twire.log"},
    {"Mailinglist config", "Edit Mailinglist Configuration file", "ml.cfg"},
    {"Broadcast Message", "Send a message to each Tidewire user", kBroadcastFile},
}};

TTextEDIT::TTextEDIT(Station& station, QWidget* parent) : QDialog(parent), station_(station) {
  setObjectName("TTextEDIT");
  setWindowTitle("TextEDIT");
  auto* layout = new QGridLayout(this);
  int row = 0;
  for (const LaunchedFile& file : kLaunchedFiles) {
    auto* button = new QPushButton(file.button, this);
    button->setObjectName(file.button);
    auto* text = new QLabel(file.text, this);
    text->setWordWrap(true);
    layout->addWidget(button, row, 0);
    layout->addWidget(text, row, 1);
    connect(button, &QPushButton::clicked, this, [this, &file] { Launch(file); });
    ++row;
  }
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("Cancel");
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  layout->addWidget(cancel, row, 0, 1, 2, Qt::AlignHCenter);
  layout->setColumnStretch(1, 1);
  setMinimumWidth(620);

  station_.AutoGoMode = FileIsPresent(station_.File(config::kAutoGoFlag));
  auto_go_start_due_ = station_.AutoGoMode;
}

// The editor is never waited for; one that cannot be started says why in a box.
void TTextEDIT::Launch(const LaunchedFile& file) {
  const fs::path path = ResolvePath(station_.File(file.file));
  OpenFailureBox(station_.op, path.string(), platform::LaunchEditor(path));
  if (file.file != kBroadcastFile) return;
  // An empty broadcast is no message: it goes at once, before the operator has written any.
  try {
    if (FileIsPresent(path) && FileSizeOf(path) == 0) DeleteFile(path);
  } catch (const IoError& error) {
    ErrorBox(station_.op, error.what());
  }
}

}  // namespace tidewire::dialogs
