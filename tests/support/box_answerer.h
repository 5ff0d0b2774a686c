#pragma once

// Answers the real message boxes of a window under test: every modal QMessageBox that opens is
// recorded (its text) and answered with the next scripted button caption. A box with no answer
// left is answered with its escape button and counted as unexpected, so no test ever waits.
#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <deque>
#include <string>
#include <vector>

namespace tidewire::testing {

class BoxAnswerer {
 public:
  explicit BoxAnswerer(std::deque<std::string> answers = {}) : answers_(std::move(answers)) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }

  // Adds answers for boxes still to come.
  void Then(const std::string& caption) { answers_.push_back(caption); }
  // Text typed into the next input dialogs (their labels join Texts()).
  BoxAnswerer& Type(const std::string& text) {
    typed_.push_back(text);
    return *this;
  }

  // The texts of the boxes shown so far, line breaks as "\n".
  [[nodiscard]] const std::vector<std::string>& Texts() const { return texts_; }
  [[nodiscard]] int Unexpected() const { return unexpected_; }
  // The caption of each box's default button (the one Enter presses).
  [[nodiscard]] const std::vector<std::string>& Defaults() const { return defaults_; }

 private:
  void Poll() {
    if (auto* input = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
      if (input->property("tw_answered").toBool()) return;
      input->setProperty("tw_answered", true);
      texts_.push_back(input->labelText().toStdString());
      if (typed_.empty()) {
        ++unexpected_;
        input->reject();
        return;
      }
      input->setTextValue(QString::fromStdString(typed_.front()));
      typed_.pop_front();
      input->accept();
      return;
    }
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || box->property("tw_answered").toBool()) return;
    box->setProperty("tw_answered", true);
    texts_.push_back(box->text().toStdString());
    defaults_.push_back(box->defaultButton() != nullptr
                            ? box->defaultButton()->text().remove('&').toStdString()
                            : std::string());
    QAbstractButton* press = nullptr;
    if (!answers_.empty()) {
      const QString caption = QString::fromStdString(answers_.front());
      answers_.pop_front();
      for (QAbstractButton* button : box->buttons()) {
        if (button->text().remove('&').compare(caption, Qt::CaseInsensitive) == 0) press = button;
      }
    }
    if (press == nullptr) {
      ++unexpected_;
      press = box->escapeButton() != nullptr ? box->escapeButton() : box->buttons().value(0);
    }
    if (press != nullptr) press->click();
  }

  std::deque<std::string> answers_;
  std::deque<std::string> typed_;
  std::vector<std::string> texts_;
  std::vector<std::string> defaults_;
  int unexpected_ = 0;
  QTimer timer_;
};

}  // namespace tidewire::testing
