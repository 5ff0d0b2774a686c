#include "dialogs/info_dialog.h"

#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

namespace tidewire::dialogs {

const char* const kInfoText =
    "* INFO Tidewire *\n"
    "\n"
    "Tidewire provides a mail gateway between packet radio and the Internet\n"
    "for e-mail and news.\n"
    "\n"
    "Version: 1.xx beta for Windows '95/'98/NT\n"
    "This program: Tidewire 1.6 for Linux (Qt 6 window and tidewire-console).\n"
    "\n"
    "Contact and support: the Tidewire project. Setting up the gateway and its BBS:\n"
    "/usr/share/doc/tidewire (README.md, README.Debian, fbb-setup.md, formats.md),\n"
    "man tidewire, man tidewire-console, man tidewire-soup, man 5 tidewire-station.\n"
    "\n"
    "Credits:\n"
    "  FBB, the packet-radio BBS software, by F6FBB and the LinFBB maintainers.\n"
    "  The SOUP format for offline mail and news.\n"
    "  Qt, the window toolkit.\n";

TInfo1::TInfo1(QWidget* parent) : QDialog(parent) {
  setObjectName("TInfo1");
  setWindowTitle("Info Tidewire");
  auto* text = new QTextEdit(this);
  text->setObjectName("Memo1");
  text->setReadOnly(true);
  text->setLineWrapMode(QTextEdit::NoWrap);
  text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text->setAcceptRichText(false);
  text->setPlainText(kInfoText);
  // The heading is centred over the text.
  QTextCursor heading(text->document()->firstBlock());
  QTextBlockFormat centred = heading.blockFormat();
  centred.setAlignment(Qt::AlignHCenter);
  heading.setBlockFormat(centred);
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OKButton");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
  resize(520, 340);
  ok->setFocus();
}

}  // namespace tidewire::dialogs
