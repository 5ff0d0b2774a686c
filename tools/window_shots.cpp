// tidewire-window-shots STATION FOLDER: makes each of the six windows on STATION, as the
// program makes them at start, then walks through the states a sysop meets (a pass, a blocked
// pass, the boxes and questions, the tray menu, the first-run counter dialogue) and saves a
// PNG of each into FOLDER.
#include <QApplication>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <string>
#include <utility>

#include "app/main_window.h"
#include "dialogs/edit_gen_form.h"
#include "dialogs/edit_text_form.h"
#include "dialogs/edit_user_form.h"
#include "dialogs/held_dialog.h"
#include "dialogs/info_dialog.h"
#include "dialogs/text_edit_launcher.h"
#include "platform/ini_file.h"

namespace {

namespace fs = std::filesystem;

bool Save(QWidget& window, const fs::path& folder, const std::string& name) {
  const fs::path file = folder / (name + ".png");
  const bool saved = window.grab().save(QString::fromStdString(file.string()));
  std::printf("%s %s\n", saved ? "saved" : "FAILED", file.c_str());
  return saved;
}

bool Shoot(QWidget& window, const fs::path& folder, const std::string& name) {
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return false;
  QTest::qWait(200);  // fonts and styles settle after the first exposure
  return Save(window, folder, name);
}

// Photographs every box and question that opens and answers it from a script: (picture name,
// button caption or typed text). A modal with no script line left is answered by Escape.
class ModalShooter {
 public:
  explicit ModalShooter(fs::path folder) : folder_(std::move(folder)) {
    timer_.setInterval(100);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }
  void Then(std::string name, std::string answer) {
    script_.emplace_back(std::move(name), std::move(answer));
  }
  [[nodiscard]] bool all_saved() const { return all_saved_; }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal->property("tw_shot").toBool()) return;
    modal->setProperty("tw_shot", true);
    auto [name, answer] =
        script_.empty() ? std::pair<std::string, std::string>{"", ""} : script_.front();
    if (!script_.empty()) script_.pop_front();
    if (!name.empty()) all_saved_ = Save(*modal, folder_, name) && all_saved_;
    if (auto* input = qobject_cast<QInputDialog*>(modal)) {
      input->setTextValue(QString::fromStdString(answer));
      answer.empty() ? input->reject() : input->accept();
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      QAbstractButton* press = box->escapeButton();
      for (QAbstractButton* button : box->buttons()) {
        if (button->text().remove('&') == QString::fromStdString(answer)) press = button;
      }
      if (press != nullptr) press->click();
    } else {
      modal->close();
    }
  }

  fs::path folder_;
  std::deque<std::pair<std::string, std::string>> script_;
  bool all_saved_ = true;
  QTimer timer_;
};

void Click(tidewire::app::TForm1& form, const char* name) {
  if (auto* button = form.findChild<QPushButton*>(name)) button->click();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: tidewire-window-shots STATION FOLDER\n");
    return 2;
  }
  const fs::path station = fs::absolute(argv[1]).lexically_normal();
  const fs::path folder = fs::absolute(argv[2]);
  fs::create_directories(folder);
  using namespace tidewire;
  // One e-mail held off the air, as a stranger's mail to a station with ACCEPT.LST leaves it.
  fs::create_directories(station / "HELD");
  const auto put = [](const fs::path& file, const std::string& text) {
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (out != nullptr) {
      std::fputs(text.c_str(), out);
      std::fclose(out);
    }
  };
  put(station / "HELD" / "1.MSG", "From: Win Big <offers@bad.example>\r\nSubject: You won\r\n");
  put(station / "HELD" / "1.TXT",
      "from: offers@bad.example\r\nsubject: You won\r\nsize: 2048\r\n"
      "reason: sender not on ACCEPT.LST\r\nheld: 2026-12-09 17:40:00\r\n");
  app::TForm1 form(station, platform::IniFile::DefaultPath());
  if (!form.FormCreate()) return 1;
  form.StatusLine("");
  form.StatusLine("Commands: GO! runs one pass; LOG lists TWIRE.LOG");
  bool all = Shoot(form, folder, "TForm1");
  form.show();
  dialogs::TInfo1 info(&form);
  dialogs::TEditUserForm1 users(form.station(), &form);
  dialogs::TEditGenForm1 settings(form.station(), &form);
  dialogs::TEditTextForm lists(form.station(), &form);
  dialogs::TTextEDIT launcher(form.station(), &form);
  for (QWidget* window :
       std::initializer_list<QWidget*>{&info, &users, &settings, &lists, &launcher}) {
    all = Shoot(*window, folder, window->objectName().toStdString()) && all;
    window->hide();
  }

  dialogs::THeldDialog held(form.station(), &form);
  all = Shoot(held, folder, "THeldDialog") && all;
  held.hide();

  ModalShooter modals(folder);
  // Enter's button is the safe one: No here.
  modals.Then("box-new-database", "No");
  (void)form.ShowBox(BoxKind::kConfirmation, Buttons::kYesNo,
                     "Are you realy sure you want to create a new database?");
  modals.Then("box-could-not-open", "OK");
  OpenFailureBox(form, "tidewire.html", "no program on this desktop opens .html files");
  modals.Then("question-watchdog-minutes", "");
  (void)form.TypedAnswer(TypedQuestion::kWatchdogMinutes);
  modals.Then("box-backup-without-drive-a", "No");
  Click(form, "Button5");

  // A pass: the client's lines in the list, the health line under the state fields.
  for (const char* box : {"box-pass-1", "box-pass-2", "box-pass-get-send"}) {
    modals.Then(box, box == std::string("box-pass-get-send") ? "Yes" : "OK");
  }
  Click(form, "Button1");
  all = Shoot(form, folder, "TForm1-after-pass") && all;
  // The import file still waits for FBB: the next pass says where it lies.
  Click(form, "Button1");
  all = Shoot(form, folder, "TForm1-blocked-pass") && all;

  if (auto* tray = form.findChild<QSystemTrayIcon*>("WinTaskbar1"); tray && tray->contextMenu()) {
    QMenu* menu = tray->contextMenu();
    menu->popup(form.geometry().center());
    QTest::qWait(200);
    all = Save(*menu, folder, "tray-menu") && all;
    std::printf("tray tooltip: %s\n", tray->toolTip().toStdString().c_str());
    menu->hide();
  }

  // Last, since it ends the program: the first-run counter dialogue.
  const fs::path waiting = station / "fbb" / "mail" / "mail.in";
  fs::remove(waiting);
  fs::remove(station / "TWIREBID.BIN");
  modals.Then("box-pass-get-send-2", "Yes");
  modals.Then("box-counter-create", "No");
  modals.Then("question-counter-letter", "y");
  modals.Then("question-counter-number", "1234");
  modals.Then("box-counter-farewell", "OK");
  Click(form, "Button1");
  all = Shoot(form, folder, "TForm1-counter-halted") && all;
  return all && modals.all_saved() ? 0 : 1;
}
