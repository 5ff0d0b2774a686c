#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>
#include <array>
#include <utility>

#include "base/errors.h"
#include "base/file_layer.h"
#include "cycle/floppy_backup.h"
#include "cycle/held_commands.h"
#include "cycle/run_log.h"
#include "cycle/start_up.h"
#include "dialogs/edit_gen_form.h"
#include "dialogs/edit_user_form.h"
#include "dialogs/held_dialog.h"
#include "dialogs/text_edit_launcher.h"
#include "platform/drives.h"
#include "platform/ini_file.h"
#include "platform/launcher.h"

namespace tidewire::app {

namespace {

constexpr const char* kCaption = "Tidewire - Internet (e)mail <-> Packet Radio Gateway";
// The web page of the program's maker behind the link label.
constexpr const char* kMakerPage = "https://www.f6fbb.org/";
constexpr std::string_view kHelpPage = "tidewire.html";
constexpr std::string_view kEmptyPage = "EMPTY.HTM";

QLineEdit* MakeField(QWidget* parent, const char* name) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(name);
  field->setReadOnly(true);
  field->setFocusPolicy(Qt::NoFocus);
  return field;
}

}  // namespace

TForm1::TForm1(const std::filesystem::path& work_dir, std::filesystem::path ini_file,
               QWidget* parent)
    // Customised: without it the window manager adds a maximise button to the fixed size.
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      station_(*this, work_dir),
      placement_(ini_file, "TForm1", work_dir) {
  setObjectName("TForm1");
  station_.drives = platform::DrivesFromIni(platform::IniFile::Load(ini_file));
  BuildControls();
  ConnectHandlers();
}

TForm1::~TForm1() = default;

QPushButton* TForm1::MakeButton(const char* name, const char* caption, const char* hint) {
  auto* button = new QPushButton(QString::fromLatin1(caption), this);
  button->setObjectName(name);
  if (hint != nullptr) button->setToolTip(QString::fromLatin1(hint));
  return button;
}

void TForm1::BuildControls() {
  // Two stations may run side by side: the title names this one.
  setWindowTitle(QString(kCaption) + " [" + StationFolder() + "]");
  // The packaged icon where tidewire-gui installed it.
  setWindowIcon(QIcon::fromTheme("tidewire", style()->standardIcon(QStyle::SP_DriveNetIcon)));

  panel1_ = new QLabel("Tidewire V1.6", this);
  panel1_->setObjectName("Panel1");
  panel1_->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel1_->setAlignment(Qt::AlignCenter);
  QFont title = panel1_->font();
  title.setBold(true);
  title.setPointSizeF(title.pointSizeF() * 1.6);
  panel1_->setFont(title);
  panel1_->setMinimumHeight(40);
  urllabel_ = new QLabel(QString("<a href=\"%1\">%1</a>").arg(kMakerPage), this);
  urllabel_->setObjectName("urllabel");
  // Reachable by Tab too, and opened with Enter.
  urllabel_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  urllabel_->setFocusPolicy(Qt::StrongFocus);

  BuildFields();
  BuildButtons();
  LayOut();
  timer1_ = new QTimer(this);
  timer1_->setObjectName("Timer1");
  timer1_->setInterval(1000);
  BuildTrayIcon();
}

// The state fields, labels, health line and status list.
void TForm1::BuildFields() {
  status1_ = MakeField(this, "Status1");
  error1_ = MakeField(this, "Error1");
  label2_ = new QLabel(this);
  label2_->setObjectName("Label2");
  label1_ = new QLabel(this);
  label1_->setObjectName("Label1");
  health_ = new QLabel(this);
  health_->setObjectName("Health");
  health_->setWordWrap(false);
  health_->hide();  // until a pass has written HEALTH
  list_box1_ = new StatusListBox(this);
}

void TForm1::BuildButtons() {
  button1_ = MakeButton("Button1", "GO!", "RUN the Gateway");
  QFont go = button1_->font();
  go.setBold(true);
  button1_->setFont(go);
  // The caption stays "GO!"; Alt+G presses it from anywhere in the window.
  button1_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_G));
  button2_ = MakeButton("Button2", "Info");
  stop_ = MakeButton("Stop", "Stop", "Exit the program");
  button3_ = MakeButton("Button3", "Gen. Settings");
  button4_ = MakeButton("Button4", "User Settings");
  button8_ = MakeButton("Button8", "TextEdit");
  button5_ = MakeButton("Button5", "Backup");
  button7_ = MakeButton("Button7", "Restore");
  explorer_button4_ = MakeButton("ExplorerButton4", "Save");
  explorer_button1_ = MakeButton("ExplorerButton1", "LOG");
  explorer_button2_ = MakeButton("ExplorerButton2", "Help");
  explorer_button3_ = MakeButton("ExplorerButton3", "Explorer");
  held_button_ = MakeButton("HeldButton", "", "E-mails held off the air: release or drop them");
  held_button_->hide();  // until something is held
  for (QPushButton* flat :
       {explorer_button4_, explorer_button1_, explorer_button2_, explorer_button3_}) {
    flat->setFlat(true);
    // A flat button shows no focus of its own: Space would press a button nobody sees.
    flat->setStyleSheet("QPushButton:focus { border: 1px dotted palette(highlight); }");
  }
  button6_ = MakeButton("Button6", "HIDE");
  button6_->setMaximumWidth(60);
  bit_btn1_ = MakeButton("BitBtn1", "", "Stop AutoGO");
  bit_btn1_->setIcon(style()->standardIcon(QStyle::SP_BrowserStop));
  bit_btn1_->setEnabled(false);
  check_box1_ = new QCheckBox("Sound", this);
  check_box1_->setObjectName("CheckBox1");
  auto_go_check_ = new QCheckBox("AutoGO", this);
  auto_go_check_->setObjectName("AutoGOCheck");
}

void TForm1::LayOut() {
  auto* top = new QHBoxLayout;
  top->addWidget(panel1_, 1);
  auto* maker = new QLabel("Internet (e)mail and news <-> FBB packet radio BBS", this);
  auto* about = new QVBoxLayout;
  about->addWidget(maker);
  about->addWidget(urllabel_);
  top->addLayout(about);

  auto* state = new QHBoxLayout;
  state->addWidget(new QLabel("Status:", this));
  state->addWidget(status1_, 2);
  state->addWidget(new QLabel("Activity:", this));
  state->addWidget(error1_, 1);

  auto* side = new QVBoxLayout;
  for (QWidget* widget : std::initializer_list<QWidget*>{button1_, stop_, button2_, button3_,
                                                         button4_, button8_, button5_, button7_}) {
    side->addWidget(widget);
  }
  side->addSpacing(8);
  side->addWidget(check_box1_);
  side->addWidget(auto_go_check_);
  side->addWidget(bit_btn1_);
  side->addStretch(1);

  auto* middle = new QHBoxLayout;
  middle->addWidget(list_box1_, 1);
  middle->addLayout(side);

  auto* bottom = new QHBoxLayout;
  for (QPushButton* flat :
       {explorer_button4_, explorer_button1_, explorer_button2_, explorer_button3_}) {
    bottom->addWidget(flat);
  }
  bottom->addWidget(held_button_);
  bottom->addStretch(1);
  bottom->addWidget(label1_);
  bottom->addWidget(button6_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(state);
  layout->addWidget(health_);
  layout->addLayout(middle, 1);
  layout->addWidget(label2_);
  layout->addLayout(bottom);
  setFixedSize(720, 500);
}

// Shown even with no notification area yet: the icon goes there when a panel starts later.
void TForm1::BuildTrayIcon() {
  win_taskbar1_ = new QSystemTrayIcon(windowIcon(), this);
  win_taskbar1_->setObjectName("WinTaskbar1");
  auto* menu = new QMenu(this);
  menu->setObjectName("TrayMenu");
  tray_show_ = menu->addAction("Hide");
  tray_go_ = menu->addAction("GO!");
  menu->addSeparator();
  tray_quit_ = menu->addAction("Quit");
  connect(menu, &QMenu::aboutToShow, this, [this] {
    tray_show_->setText(isVisible() ? "Hide" : "Show");
    tray_go_->setEnabled(button1_->isEnabled());
    tray_quit_->setEnabled(stop_->isEnabled());
  });
  connect(tray_show_, &QAction::triggered, this,
          [this] { WinTaskbar1Click(QSystemTrayIcon::Trigger); });
  connect(tray_go_, &QAction::triggered, this, &TForm1::PressGo);
  connect(tray_quit_, &QAction::triggered, stop_, &QPushButton::click);
  win_taskbar1_->setContextMenu(menu);
  UpdateTrayTip();
  win_taskbar1_->show();
}

// The station, how the last pass ended and the health line: enough to know from the panel
// whether the window needs a look.
void TForm1::UpdateTrayTip() {
  QString tip = "Tidewire [" + StationFolder() + "]\n";
  if (last_pass_) {
    static constexpr std::array<const char*, 4> kEnds = {"completed", "blocked by a waiting file",
                                                         "completed, client trouble",
                                                         "stopped on an error"};
    tip += "Last pass " + last_pass_time_.toString("yyyy-MM-dd HH:mm") + ": " +
           kEnds.at(static_cast<std::size_t>(*last_pass_));
  } else {
    tip += "No pass yet";
  }
  if (!health_->toolTip().isEmpty()) tip += "\n" + health_->toolTip();
  win_taskbar1_->setToolTip(tip);
}

QString TForm1::StationFolder() const {
  std::string folder = std::filesystem::absolute(station_.work_dir).lexically_normal().string();
  if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return QString::fromStdString(folder);
}

void TForm1::ConnectHandlers() {
  connect(button1_, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(stop_, &QPushButton::clicked, this, &TForm1::StopClick);
  connect(bit_btn1_, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
  connect(auto_go_check_, &QCheckBox::clicked, this, &TForm1::AutoGOCheckClick);
  connect(check_box1_, &QCheckBox::toggled, this, [this](bool on) { station_.panel.sound = on; });
  connect(timer1_, &QTimer::timeout, this, &TForm1::Timer1Timer);
  connect(button2_, &QPushButton::clicked, this, &TForm1::Button2Click);
  connect(button3_, &QPushButton::clicked, this, &TForm1::OpenWindow<dialogs::TEditGenForm1>);
  connect(button4_, &QPushButton::clicked, this, &TForm1::OpenWindow<dialogs::TEditUserForm1>);
  connect(button8_, &QPushButton::clicked, this, &TForm1::Button8Click);
  connect(button5_, &QPushButton::clicked, this,
          [this] { Guarded([this] { cycle::BackupToFloppy(station_); }); });
  connect(button7_, &QPushButton::clicked, this,
          [this] { Guarded([this] { cycle::RestoreFromFloppy(station_); }); });
  connect(explorer_button4_, &QPushButton::clicked, button5_, &QPushButton::click);
  connect(explorer_button1_, &QPushButton::clicked, this, &TForm1::ExplorerButton1Click);
  connect(explorer_button2_, &QPushButton::clicked, this, &TForm1::ExplorerButton2Click);
  connect(explorer_button3_, &QPushButton::clicked, this, &TForm1::ExplorerButton3Click);
  connect(button6_, &QPushButton::clicked, this, &TForm1::Button6Click);
  connect(held_button_, &QPushButton::clicked, this, &TForm1::HeldClick);
  connect(urllabel_, &QLabel::linkActivated, this, &TForm1::urllabelClick);
  connect(win_taskbar1_, &QSystemTrayIcon::activated, this, &TForm1::WinTaskbar1Click);
}

bool TForm1::FormCreate() {
  Guarded([this] { cycle::StartUp(station_); });
  ShowHeldCount();
  return !ending_;
}

// "Held: n" while e-mails wait in HELD/; nothing when none does.
void TForm1::ShowHeldCount() {
  std::size_t held = 0;
  try {
    held = cycle::HeldLines(station_.work_dir).size();
  } catch (const IoError&) {
    // An unreadable HELD/ shows as nothing held; the next pass reports the file error.
  }
  held_button_->setText(QString("Held: %1").arg(held));
  held_button_->setVisible(held > 0);
}

void TForm1::HeldClick() {
  dialogs::THeldDialog dialog(station_, this);
  dialog.exec();
  ShowHeldCount();
}

int TForm1::exit_status() const {
  if (ending_) return static_cast<int>(end_status_);
  return static_cast<int>(last_pass_ ? StatusFor(*last_pass_, station_.MailNotMoving)
                                     : ExitStatus::kNormal);
}

template <typename Handler>
bool TForm1::Guarded(Handler&& handler) {
  bool completed = false;
  try {
    completed = RunShowingErrors(*this, std::forward<Handler>(handler));
  } catch (const EndProgram& end) {
    if (!end.farewell.empty()) ShowBox(BoxKind::kInformation, Buttons::kOk, end.farewell);
    EndTheProgram(StatusFor(end.reason));
  }
  SyncControls();
  CloseWhenAgreed();
  return completed;
}

void TForm1::SyncControls() {
  check_box1_->setChecked(station_.panel.sound);
  auto_go_check_->setChecked(station_.panel.auto_go);
  bit_btn1_->setEnabled(station_.panel.stop_auto_go_enabled);
}

void TForm1::CloseWhenAgreed() {
  if (running_ || !(station_.panel.close_agreed || ending_)) return;
  // Queued: the handler that agreed returns to the event loop before the window goes.
  QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TForm1::EndTheProgram(ExitStatus status) {
  ending_ = true;
  end_status_ = status;
}

// Everything that writes the gateway's files waits while a pass runs; the boxes and the
// Stop-AutoGO button stay, since they end a countdown.
void TForm1::SetFileButtonsEnabled(bool enabled) {
  for (QPushButton* button : {button1_, stop_, button3_, button4_, button8_, button5_, button7_,
                              explorer_button4_, explorer_button1_}) {
    button->setEnabled(enabled);
  }
}

void TForm1::Button1Click() {
  if (running_) return;
  running_ = true;
  SetFileButtonsEnabled(false);
  Guarded([this] { last_pass_ = cycle::RunCycle(station_); });
  last_pass_time_ = QDateTime::currentDateTime();
  running_ = false;
  ShowHeldCount();
  UpdateTrayTip();
  SetFileButtonsEnabled(true);
  CloseWhenAgreed();
}

void TForm1::StopClick() {
  if (Guarded([this] { cycle::StopClick(station_); })) close();
}

void TForm1::BitBtn1Click() {
  Guarded([this] { cycle::BitBtn1Click(station_); });
}

void TForm1::AutoGOCheckClick() {
  Guarded([this] { cycle::AutoGoCheckClick(station_); });
}

void TForm1::Button2Click() {
  if (info_ != nullptr) info_->exec();
}

// A window of that kind already open comes to the front; otherwise a new one, owned by the main
// window, opens (two settings dialogs over one file would overwrite each other's changes).
template <typename Window>
void TForm1::OpenWindow() {
  for (Window* open : findChildren<Window*>(Qt::FindDirectChildrenOnly)) {
    if (!open->isVisible()) continue;
    open->raise();
    open->activateWindow();
    return;
  }
  QWidget* window = nullptr;
  Guarded([&] { window = new Window(station_, this); });
  if (window == nullptr) return;
  window->show();
  window->raise();
  window->activateWindow();
}

void TForm1::Button8Click() {
  dialogs::TTextEDIT* window = nullptr;
  Guarded([&] { window = new dialogs::TTextEDIT(station_, this); });
  if (window == nullptr) return;
  // The flag file "autogo" makes a new launcher an AutoGO start, from this button too.
  if (window->AutoGoStartDue()) PressGo();
  if (closed_) return;
  window->show();
  window->raise();
  window->activateWindow();
}

void TForm1::ExplorerButton1Click() {
  Guarded([this] { cycle::ListRunLog(station_.work_dir, *this); });
}

void TForm1::ExplorerButton2Click() {
  const fs::path page = ResolvePath(station_.File(kHelpPage));
  if (FileIsPresent(page)) {
    OpenOrSayWhy(page.string());
  } else {
    ErrorBox(*this, "File (Tidewire.html) not found!");
  }
}

void TForm1::ExplorerButton3Click() {
  Guarded([this] {
    TextWriter page(station_.File(kEmptyPage), TextWriter::Mode::kCreate);
    page.WriteLine("");
    page.Close();
    OpenOrSayWhy(ResolvePath(station_.File(kEmptyPage)).string());
  });
}

// Without a notification area nothing could bring a hidden window back: it is minimised.
void TForm1::Button6Click() {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    showMinimized();
    return;
  }
  win_taskbar1_->show();
  hide();
}

void TForm1::WinTaskbar1Click(QSystemTrayIcon::ActivationReason reason) {
  if (reason != QSystemTrayIcon::Trigger) return;
  if (isVisible()) {
    hide();
  } else {
    show();
  }
  QCoreApplication::processEvents();
}

void TForm1::urllabelClick() { OpenOrSayWhy(kMakerPage); }

// Nothing that opens it is a box that says so, not a line on a terminal nobody watches.
void TForm1::OpenOrSayWhy(const std::string& target) {
  OpenFailureBox(*this, target, platform::OpenWithDesktop(target));
}

void TForm1::ShowFromAnotherStart() {
  if (!isVisible()) show();
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

// FormShow: every show the program asks for (not the system's restore of a minimised window)
// takes the saved placement again.
void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  // A state is taken once the window is up; set before, the window manager drops it.
  const int state = placement_.Restore(*this);
  if (state == 1) QMetaObject::invokeMethod(this, &QWidget::showMinimized, Qt::QueuedConnection);
  if (state == 3) QMetaObject::invokeMethod(this, &QWidget::showMaximized, Qt::QueuedConnection);
}

// Hidden to the tray, the window comes back where it was hidden.
void TForm1::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (!event->spontaneous() && !closed_) SavePlacement();
}

void TForm1::SavePlacement() {
  try {
    placement_.Save(*this);
  } catch (const IoError& error) {
    ErrorBox(*this, error.BoxText());
  }
}

// FormClose. A close agreed to during a pass waits for the pass to return.
void TForm1::closeEvent(QCloseEvent* event) {
  if (closed_) return;
  SavePlacement();
  bool agreed = station_.panel.close_agreed || ending_;
  if (!agreed) {
    Guarded([&] { agreed = cycle::FormClose(station_); });
    if (agreed && running_) station_.panel.close_agreed = true;
  }
  if (!agreed || running_) {
    event->ignore();
    return;
  }
  closed_ = true;
  win_taskbar1_->hide();
  event->accept();
  emit Closed();
}

}  // namespace tidewire::app
