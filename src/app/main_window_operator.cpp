// TForm1 as the core's Operator: status list, fields, boxes, the timer, sounds and waits.
#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLayout>
#include <QMessageBox>
#include <algorithm>
#include <thread>

#include "app/main_window.h"
#include "base/file_layer.h"
#include "cycle/bid_counter.h"
#include "platform/child_process.h"
#include "platform/sound.h"

namespace tidewire::app {

namespace {

QMessageBox::Icon IconOf(BoxKind kind) {
  switch (kind) {
    case BoxKind::kError:
      return QMessageBox::Critical;
    case BoxKind::kWarning:
      return QMessageBox::Warning;
    case BoxKind::kInformation:
      return QMessageBox::Information;
    case BoxKind::kConfirmation:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ButtonsOf(Buttons buttons) {
  switch (buttons) {
    case Buttons::kOk:
      return QMessageBox::Ok;
    case Buttons::kOkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case Buttons::kYesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case Buttons::kYes:
      return QMessageBox::Yes;
  }
  return QMessageBox::Ok;
}

QMessageBox::StandardButton ButtonOf(Answer answer) {
  switch (answer) {
    case Answer::kOk:
      return QMessageBox::Ok;
    case Answer::kCancel:
      return QMessageBox::Cancel;
    case Answer::kYes:
      return QMessageBox::Yes;
    case Answer::kNo:
      return QMessageBox::No;
  }
  return QMessageBox::Ok;
}

// A box closed without a button gives the answer of its escape button.
Answer AnswerOf(int pressed, Buttons buttons) {
  switch (pressed) {
    case QMessageBox::Ok:
      return Answer::kOk;
    case QMessageBox::Yes:
      return Answer::kYes;
    case QMessageBox::No:
      return Answer::kNo;
    case QMessageBox::Cancel:
      return Answer::kCancel;
    default:
      break;
  }
  return EscapeAnswer(buttons);
}

}  // namespace

void TForm1::StatusLine(std::string_view text) { list_box1_->StatusLine(text); }

void TForm1::SetProgressLabel(std::string_view text) { label2_->setText(GatewayText(text)); }

void TForm1::SetStatus1(std::string_view text) { status1_->setText(GatewayText(text)); }

void TForm1::SetError1(std::string_view text) { error1_->setText(GatewayText(text)); }

void TForm1::ShowHealth(std::string_view text, bool unwell) {
  // The whole line in the tip, since the window is too narrow for every date.
  const QString whole = GatewayText(text);
  // The window has a fixed size; the label may not be laid out yet when the start shows it.
  const QMargins margins = layout()->contentsMargins();
  const int room = width() - margins.left() - margins.right();
  QFont font = health_->font();
  font.setBold(unwell);
  health_->setFont(font);
  QPalette palette = health_->palette();
  palette.setColor(QPalette::WindowText,
                   unwell ? QColor(0xb0, 0, 0) : this->palette().color(QPalette::WindowText));
  health_->setPalette(palette);
  health_->setText(QFontMetrics(font).elidedText(whole, Qt::ElideRight, room));
  health_->setToolTip(whole);
  health_->show();
  UpdateTrayTip();
}

Answer TForm1::ShowBox(BoxKind kind, Buttons buttons, std::string_view text) {
  QString shown = GatewayText(text);
  shown.replace('\r', '\n');
  QMessageBox box(IconOf(kind), "Tidewire", shown, ButtonsOf(buttons), this);
  box.setTextFormat(Qt::PlainText);
  // Enter and Escape both give the answer that loses nothing ("create a new database?" must
  // not be answered Yes by a stray Enter).
  const QMessageBox::StandardButton safe = ButtonOf(EscapeAnswer(buttons));
  box.setDefaultButton(safe);
  box.setEscapeButton(safe);
  return AnswerOf(box.exec(), buttons);
}

// The boxes follow the records at every turn: a stage may clear the AutoGO box mid-pass.
void TForm1::giveTurn() {
  SyncControls();
  QCoreApplication::processEvents();
}

std::optional<std::string> TForm1::TypedAnswer(TypedQuestion question) {
  if (question == TypedQuestion::kBackupFolder) {
    const QString folder = QFileDialog::getExistingDirectory(this, "Folder for the backup");
    if (folder.isEmpty()) return std::nullopt;
    return folder.toStdString();
  }
  QInputDialog dialog(this);
  dialog.setWindowTitle("Tidewire");
  dialog.setInputMode(QInputDialog::TextInput);
  const bool letter = question == TypedQuestion::kYesNoLetter;
  if (question == TypedQuestion::kWatchdogMinutes) {
    dialog.setLabelText(
        "Enter number of minutes in file WATCH.DOG before Tdwire should close down SOUPER95.");
    dialog.setTextValue("10");
  } else {
    // The hints whole: the list cuts its longest line at the window's edge.
    QStringList hints;
    for (std::string_view hint : cycle::BidRefusalHints()) {
      hints << QString::fromUtf8(hint.data(), static_cast<qsizetype>(hint.size())).trimmed();
    }
    dialog.setLabelText(letter ? hints.join('\n') : "Enter a BID-number now (max 99999) :");
  }
  if (auto* edit = dialog.findChild<QLineEdit*>()) edit->setMaxLength(letter ? 1 : 5);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.textValue().toStdString();
}

void TForm1::StartTimer() {
  if (!timer1_->isActive()) timer1_->start();
}

void TForm1::ResetTicks() { ticks_ = 0; }

// The countdowns read the ticks in a loop that gives a turn each round; a short pause per
// reading keeps that loop from taking a whole processor.
int TForm1::Ticks() {
  if (timer1_->isActive()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return ticks_;
}

void TForm1::PlaySound(const std::filesystem::path& file) {
  const std::filesystem::path real = ResolvePath(file);
  if (FileIsPresent(real)) platform::PlaySoundFile(real);
}

void TForm1::Beep() { QApplication::beep(); }

// Short waits with the window's events between them, under the same limit as one long wait.
bool TForm1::WaitForChild(platform::ChildProcess& child,
                          std::optional<std::chrono::milliseconds> limit) {
  using Clock = std::chrono::steady_clock;
  constexpr std::chrono::milliseconds kSlice(50);
  const Clock::time_point deadline = limit ? Clock::now() + *limit : Clock::time_point::max();
  for (;;) {
    std::chrono::milliseconds slice = kSlice;
    if (limit) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      slice = std::clamp(left, std::chrono::milliseconds(0), kSlice);
    }
    if (child.WaitFor(slice)) return true;
    if (limit && Clock::now() >= deadline) return false;
    QCoreApplication::processEvents();
  }
}

}  // namespace tidewire::app
