#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "app/demo_station.h"
#include "dialogs/edit_gen_form.h"
#include "dialogs/edit_user_form.h"
#include "platform/child_process.h"
#include "platform/ini_file.h"
#include "support/box_answerer.h"

namespace tidewire::app {
namespace {

namespace fs = std::filesystem;
using testing::BoxAnswerer;
using testing::ReadBytes;
using testing::WriteBytes;

class MainWindowTest : public testing::DemoStationTest {
 protected:
  std::unique_ptr<TForm1> Window() {
    auto form = std::make_unique<TForm1>(station_, ini_);
    EXPECT_TRUE(form->FormCreate());
    return form;
  }
  template <typename Widget>
  static Widget& Control(TForm1& form, const char* name) {
    auto* widget = form.findChild<Widget*>(name);
    if (widget == nullptr) throw std::runtime_error(std::string("no control ") + name);
    return *widget;
  }
  static bool Listed(TForm1& form, const std::string& line) {
    const auto& lines = form.ListBox1().log().lines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

struct ControlText {
  const char* name;
  const char* caption;
  const char* hint;
};

TEST_F(MainWindowTest, ControlsCarryTheirCaptionsAndHints) {
  auto form = Window();
  EXPECT_EQ(form->windowTitle().toStdString(),
            "Tidewire - Internet (e)mail <-> Packet Radio Gateway [" +
                std::filesystem::absolute(station_).lexically_normal().string() + "]");
  const std::vector<ControlText> buttons = {{"Button1", "GO!", "RUN the Gateway"},
                                            {"Button2", "Info", ""},
                                            {"Stop", "Stop", "Exit the program"},
                                            {"Button3", "Gen. Settings", ""},
                                            {"Button4", "User Settings", ""},
                                            {"Button8", "TextEdit", ""},
                                            {"Button5", "Backup", ""},
                                            {"Button7", "Restore", ""},
                                            {"ExplorerButton4", "Save", ""},
                                            {"ExplorerButton1", "LOG", ""},
                                            {"ExplorerButton2", "Help", ""},
                                            {"ExplorerButton3", "Explorer", ""},
                                            {"Button6", "HIDE", ""},
                                            {"BitBtn1", "", "Stop AutoGO"}};
  for (const ControlText& row : buttons) {
    const auto& button = Control<QPushButton>(*form, row.name);
    EXPECT_EQ(button.text(), row.caption) << row.name;
    EXPECT_EQ(button.toolTip(), row.hint) << row.name;
  }
  EXPECT_EQ(Control<QLabel>(*form, "Panel1").text(), "Tidewire V1.6");
  EXPECT_EQ(Control<QLineEdit>(*form, "Status1").text(), "Ready to GO!");
  EXPECT_EQ(Control<QLineEdit>(*form, "Error1").text(), "Idle");
  EXPECT_FALSE(Control<QPushButton>(*form, "BitBtn1").isEnabled());
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
}

TEST_F(MainWindowTest, GoRunsAPassWithTheFileButtonsBlocked) {
  auto form = Window();
  form->show();
  BoxAnswerer boxes({"OK", "OK", "Yes"});
  std::vector<bool> enabled_during_pass;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!form->PassRunning()) return;
    for (const char* name : {"Button1", "Stop", "Button5", "Button7", "ExplorerButton1"}) {
      enabled_during_pass.push_back(Control<QPushButton>(*form, name).isEnabled());
    }
  });
  watch.start(5);
  // Alt+G is GO!'s key: the pass runs from the keyboard.
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  QTest::keyClick(form->windowHandle(), Qt::Key_G, Qt::AltModifier);
  // A shortcut presses the button as a click of the mouse would, a moment later.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Listed(*form, "- COMPLETED -"); }, 60000));

  EXPECT_EQ(boxes.Unexpected(), 0);
  EXPECT_EQ(boxes.Texts().back(), "Should I get/send Internet mail now?");
  EXPECT_TRUE(Listed(*form, "- COMPLETED -"));
  EXPECT_TRUE(Listed(*form, " Waiting for SOUPER95 to GET mail..."));
  EXPECT_TRUE(fs::exists(Mailin("mail.in")));
  EXPECT_FALSE(fs::exists(station_ / "MAIL.IN"));
  EXPECT_EQ(Control<QLineEdit>(*form, "Status1").text(), " Ready to GO!");
  EXPECT_EQ(Control<QLineEdit>(*form, "Error1").text(), " Idle");
  EXPECT_TRUE(Control<QPushButton>(*form, "Button1").isEnabled());
  ASSERT_FALSE(enabled_during_pass.empty());
  EXPECT_TRUE(std::none_of(enabled_during_pass.begin(), enabled_during_pass.end(),
                           [](bool on) { return on; }));
  EXPECT_EQ(form->exit_status(), 0);
}

TEST_F(MainWindowTest, TheAutoGoBoxSwitchesTheFlagFileAtOnceAndLeavesBitBtn1) {
  auto form = Window();
  auto& box = Control<QCheckBox>(*form, "AutoGOCheck");
  box.click();
  EXPECT_TRUE(fs::exists(station_ / "autogo"));
  EXPECT_TRUE(box.isChecked());
  EXPECT_TRUE(form->station().AutoGoMode);
  EXPECT_FALSE(Control<QPushButton>(*form, "BitBtn1").isEnabled());
  box.click();
  EXPECT_FALSE(fs::exists(station_ / "autogo"));
  EXPECT_FALSE(box.isChecked());
  EXPECT_FALSE(Control<QPushButton>(*form, "BitBtn1").isEnabled());
}

TEST_F(MainWindowTest, TheLastStatusLineStaysSelectedAtAHundredThousandLines) {
  auto form = Window();
  form->show();
  const int before = form->ListBox1().log().rowCount();
  for (int i = 1; i <= 100'000; ++i) form->StatusLine(" line " + std::to_string(i));
  form->StatusLine("");
  QCoreApplication::processEvents();  // the turn a pass gives after its lines
  const int last = before + 100'000;
  EXPECT_EQ(form->ListBox1().log().rowCount(), last + 1);
  EXPECT_EQ(form->ListBox1().currentIndex().row(), last);
  EXPECT_TRUE(form->ListBox1().selectionModel()->isRowSelected(last, QModelIndex()));
  EXPECT_EQ(form->ListBox1().log().lines()[static_cast<std::size_t>(last - 1)], " line 100000");
}

TEST_F(MainWindowTest, TheCloseBoxAsksAndNoKeepsTheWindow) {
  auto form = Window();
  form->show();
  BoxAnswerer boxes({"No"});
  EXPECT_FALSE(form->close());
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Are you sure ?"});

  boxes.Then("Yes");
  EXPECT_TRUE(form->close());
  const auto ini = platform::IniFile::Load(ini_);
  const std::string section = "WindowsRestorer " + std::filesystem::absolute(station_).string();
  EXPECT_EQ(ini.Get(section, "TForm1_Width"), std::to_string(form->width()));
  EXPECT_EQ(ini.Get(section, "TForm1_WindowState"), "2");
  EXPECT_TRUE(ini.Get(section, "TForm1_Left").has_value());
}

// Placement round-trips exactly, per station; a minimised window comes back minimised; the
// window coming back from the tray is where it was hidden.
TEST_F(MainWindowTest, PlacementRoundTripsPerStation) {
  QPoint inside;
  {
    auto form = Window();
    form->show();
    form->move(30, 60);
    inside = form->geometry().topLeft();
    form->hide();
    form->show();
    EXPECT_EQ(form->geometry().topLeft(), inside);
    BoxAnswerer boxes({"Yes"});
    EXPECT_TRUE(form->close());
  }
  for (int start = 0; start < 3; ++start) {
    auto form = Window();
    form->show();
    EXPECT_EQ(form->geometry().topLeft(), inside) << "start " << start;
    BoxAnswerer boxes({"Yes"});
    EXPECT_TRUE(form->close());
  }
  platform::IniFile ini = platform::IniFile::Load(ini_);
  ini.Set("WindowsRestorer " + std::filesystem::absolute(station_).string(), "TForm1_WindowState",
          "1");
  ini.Save(ini_);
  auto form = Window();
  form->show();
  QCoreApplication::processEvents();
  EXPECT_TRUE(form->isMinimized());
  // Another station sharing the INI file has a placement of its own.
  const std::filesystem::path other = station_.parent_path() / "other";
  std::filesystem::copy(station_, other, std::filesystem::copy_options::recursive);
  TForm1 second(other, ini_);
  second.show();
  EXPECT_NE(second.geometry().topLeft(), inside);
  EXPECT_NE(second.windowTitle(), form->windowTitle());
}

struct ScreenCase {
  const char* name;
  QRect saved;
  QRect placed;
};

void PrintTo(const ScreenCase& c, std::ostream* os) { *os << c.name; }

class OnScreenPlacement : public ::testing::TestWithParam<ScreenCase> {};

// Two screens side by side (1280x1024 with a 24-pixel panel on top, and 1024x768); title 20.
TEST_P(OnScreenPlacement, EveryWindowLandsWhollyOnAScreen) {
  const std::vector<QRect> screens = {QRect(0, 24, 1280, 1000), QRect(1280, 0, 1024, 768)};
  EXPECT_EQ(OnScreen(GetParam().saved, screens, 20), GetParam().placed);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OnScreenPlacement,
    ::testing::Values(
        ScreenCase{"inside_stays", {100, 100, 720, 500}, {100, 100, 720, 500}},
        ScreenCase{"title_under_the_panel", {100, 5, 720, 500}, {100, 44, 720, 500}},
        ScreenCase{"off_to_the_left", {-300, 100, 720, 500}, {0, 100, 720, 500}},
        ScreenCase{"on_the_second_screen", {1400, 50, 720, 500}, {1400, 50, 720, 500}},
        ScreenCase{
            "across_both_goes_where_more_of_it_is", {1000, 100, 720, 500}, {1280, 100, 720, 500}},
        ScreenCase{"unplugged_monitor", {3000, 100, 720, 500}, {280, 274, 720, 500}},
        ScreenCase{"far_below", {100, 5000, 720, 500}, {280, 274, 720, 500}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, TheSavedPlacementIsAppliedOnShow) {
  platform::IniFile ini;
  ini.Set("WindowsRestorer", "TForm1_Top", "40");
  ini.Set("WindowsRestorer", "TForm1_Left", "30");
  ini.Set("WindowsRestorer", "TForm1_WindowState", "9");  // unknown: the state stays
  ini.Save(ini_);
  auto form = Window();
  form->show();
  EXPECT_EQ(form->geometry().topLeft(), QPoint(30, 40));
  EXPECT_FALSE(form->isMinimized());
}

// Enter answers every box with what loses nothing: No to "create a new database?", Cancel.
TEST_F(MainWindowTest, TheDefaultButtonLosesNothing) {
  auto form = Window();
  BoxAnswerer boxes({"OK", "OK", "Yes", "Yes"});
  (void)form->ShowBox(BoxKind::kInformation, Buttons::kOk, "a");
  (void)form->ShowBox(BoxKind::kConfirmation, Buttons::kOkCancel, "b");
  EXPECT_EQ(form->ShowBox(BoxKind::kConfirmation, Buttons::kYesNo,
                          "Are you realy sure you want to create a new database?"),
            Answer::kYes);
  (void)form->ShowBox(BoxKind::kConfirmation, Buttons::kYes, "d");
  EXPECT_EQ(boxes.Defaults(), (std::vector<std::string>{"OK", "Cancel", "No", "Yes"}));
}

// A second click on a settings button brings the open dialog forward instead of a second one.
TEST_F(MainWindowTest, ASecondSettingsClickBringsTheOpenDialogForward) {
  auto form = Window();
  form->show();
  for (const char* button : {"Button3", "Button3", "Button4", "Button4"}) {
    Control<QPushButton>(*form, button).click();
  }
  const auto visible = [&](auto* kind) {
    int n = 0;
    for (auto* dialog : form->findChildren<std::remove_pointer_t<decltype(kind)>*>()) {
      n += dialog->isVisible() ? 1 : 0;
    }
    return n;
  };
  EXPECT_EQ(visible(static_cast<dialogs::TEditGenForm1*>(nullptr)), 1);
  EXPECT_EQ(visible(static_cast<dialogs::TEditUserForm1*>(nullptr)), 1);
}

TEST_F(MainWindowTest, LogListsTheLogFile) {
  WriteBytes(station_ / "TWIRE.LOG", "first record\r\nsecond record\r\n");
  auto form = Window();
  Control<QPushButton>(*form, "ExplorerButton1").click();
  EXPECT_TRUE(Listed(*form, "first record"));
  EXPECT_TRUE(Listed(*form, "second record"));
}

TEST_F(MainWindowTest, HelpWithoutThePageSaysSo) {
  auto form = Window();
  BoxAnswerer boxes({"OK"});
  Control<QPushButton>(*form, "ExplorerButton2").click();
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"File (Tidewire.html) not found!"});
  EXPECT_EQ(boxes.Unexpected(), 0);
}

TEST_F(MainWindowTest, ARefusedBackupFolderEndsTheProgramWithStatus2) {
  fs::remove_all(station_ / "backup");
  BoxAnswerer boxes({"Cancel"});
  TForm1 form(station_, ini_);
  EXPECT_FALSE(form.FormCreate());
  EXPECT_EQ(form.exit_status(), 2);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"BACKUP-Dir does not exist!  Create new one?"});
  EXPECT_FALSE(fs::exists(station_ / "backup"));
}

// The tray: a tooltip with the station and the last pass, a menu with Show/Hide, GO! and Quit;
// no maximise button on the fixed-size window.
TEST_F(MainWindowTest, TheTrayNamesTheStationAndTheLastPassAndOffersItsMenu) {
  auto form = Window();
  form->show();
  EXPECT_TRUE(form->windowFlags().testFlag(Qt::CustomizeWindowHint));
  EXPECT_FALSE(form->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  auto* tray = form->findChild<QSystemTrayIcon*>("WinTaskbar1");
  ASSERT_NE(tray, nullptr);
  const QString folder = QString::fromStdString(fs::absolute(station_).string());
  EXPECT_TRUE(tray->toolTip().startsWith("Tidewire [" + folder + "]\nNo pass yet"));
  QMenu* menu = tray->contextMenu();
  ASSERT_NE(menu, nullptr);
  QStringList captions;
  for (QAction* action : menu->actions()) {
    if (!action->isSeparator()) captions << action->text();
  }
  EXPECT_EQ(captions, (QStringList{"Hide", "GO!", "Quit"}));
  BoxAnswerer boxes({"OK", "OK", "Yes", "No"});
  menu->actions().at(1)->trigger();
  EXPECT_TRUE(Listed(*form, "- COMPLETED -"));
  EXPECT_NE(tray->toolTip().indexOf(": completed"), -1) << tray->toolTip().toStdString();
  menu->actions().at(0)->trigger();
  EXPECT_FALSE(form->isVisible());
  emit menu->aboutToShow();
  EXPECT_EQ(menu->actions().at(0)->text(), "Show");
  menu->actions().at(3)->trigger();  // Quit asks, and No keeps the program
  EXPECT_EQ(boxes.Texts().back(), "Are you sure ?");
  EXPECT_EQ(boxes.Unexpected(), 0);
}

// Held e-mails show as "Held: n"; the dialog releases one and drops the other.
TEST_F(MainWindowTest, HeldMailIsCountedAndReleasedOrDroppedInItsDialog) {
  fs::create_directories(station_ / "HELD");
  for (const char* n : {"1", "2"}) {
    WriteBytes(station_ / "HELD" / (std::string(n) + ".MSG"), "From: x@bad.example\r\n");
    WriteBytes(station_ / "HELD" / (std::string(n) + ".TXT"),
               "from: x@bad.example\r\nsubject: s\r\nsize: 21\r\nreason: r\r\n");
  }
  auto form = Window();
  auto& held = Control<QPushButton>(*form, "HeldButton");
  EXPECT_EQ(held.text(), "Held: 2");
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    auto* list = dialog->findChild<QListWidget*>("HeldList");
    ASSERT_EQ(list->count(), 2);
    dialog->findChild<QPushButton*>("ReleaseButton")->click();
    list->setCurrentRow(1);
    dialog->findChild<QPushButton*>("DropButton")->click();
    EXPECT_TRUE(list->item(0)->text().endsWith("(released)"));
    dialog->accept();
  });
  held.click();
  EXPECT_TRUE(fs::exists(station_ / "HELD" / "1.REL"));
  EXPECT_TRUE(fs::exists(station_ / "HELD" / "DROPPED" / "2.MSG"));
  EXPECT_EQ(held.text(), "Held: 1");
}

// The first-run counter dialogue in the window: the hints whole in the question, and a last box
// that says what was stored before the window goes.
TEST_F(MainWindowTest, TheRefusedCounterEndsWithABoxThatSaysWhatWasStored) {
  struct Row {
    const char* letter;
    const char* number;
    const char* farewell;
    const char* file;  // nullptr: none written
  };
  WriteBytes(Mailin("fbbemail"), "");
  for (const Row& row : {Row{"y", "1234", "TWIREBID.BIN now holds 1234", "1234"},
                         Row{"n", "", "TWIREBID.BIN was not created", nullptr}}) {
    fs::remove(station_ / "TWIREBID.BIN");
    auto form = Window();
    BoxAnswerer boxes({"Yes", "No", "OK"});
    boxes.Type(row.letter).Type(row.number);
    Control<QPushButton>(*form, "Button1").click();
    EXPECT_EQ(form->exit_status(), 4);
    const std::vector<std::string>& texts = boxes.Texts();
    ASSERT_GE(texts.size(), 4U);
    EXPECT_EQ(texts[1], "Cannot find the file TWIREBID.BIN\nCreate?");
    EXPECT_NE(texts[2].find("you can start from BID 1_<name BBS>\n"), std::string::npos);
    EXPECT_EQ(texts.back().find(std::string("Program halted.\n") + row.farewell), 0U);
    EXPECT_EQ(boxes.Unexpected(), 0);
    if (row.file != nullptr) {
      EXPECT_EQ(ReadBytes(station_ / "TWIREBID.BIN"), row.file);
    } else {
      EXPECT_FALSE(fs::exists(station_ / "TWIREBID.BIN"));
    }
  }
}

TEST_F(MainWindowTest, WaitingForAChildKeepsTheLimitAndTheEventsFlowing) {
  auto form = Window();
  int events = 0;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] { ++events; });
  tick.start(10);
  auto hanging = platform::ChildProcess::Start("/bin/sleep", {"sleep", "10"}, station_);
  ASSERT_TRUE(hanging.has_value());
  EXPECT_FALSE(form->WaitForChild(*hanging, std::chrono::milliseconds(400)));
  EXPECT_FALSE(hanging->ended());
  EXPECT_GT(events, 0);
  hanging->Kill();
  auto quick = platform::ChildProcess::Start("/bin/true", {"true"}, station_);
  ASSERT_TRUE(quick.has_value());
  EXPECT_TRUE(form->WaitForChild(*quick, std::nullopt));
  EXPECT_EQ(quick->exit_status(), 0);
}

}  // namespace
}  // namespace tidewire::app
