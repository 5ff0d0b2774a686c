#pragma once

#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/status_list.h"
#include "app/window_placement.h"
#include "base/operator.h"
#include "base/station.h"
#include "cycle/exit_status.h"
#include "cycle/run_cycle.h"

namespace tidewire::app {

using cycle::ExitStatus;
using cycle::StatusFor;

// The main window: the gateway's controls, its status list, and the person at the console for
// the core. Every handler runs on the one thread; a pass gives the window turns meanwhile.
class TForm1 : public QWidget, public Operator {
  Q_OBJECT
 public:
  // A window for the gateway in `work_dir`; placement and drive map from `ini_file`.
  TForm1(const std::filesystem::path& work_dir, std::filesystem::path ini_file,
         QWidget* parent = nullptr);
  ~TForm1() override;

  // FormCreate: the start-up of the gateway. False when the program is to end at once.
  [[nodiscard]] bool FormCreate();
  // The info dialog that "Info" shows.
  void SetInfoDialog(QDialog* info) { info_ = info; }
  // Presses "GO!" as the operator would: nothing while a pass runs.
  void PressGo() { button1_->click(); }
  // Brings the window to the front for a second start of the program.
  void ShowFromAnotherStart();

  [[nodiscard]] Station& station() { return station_; }
  [[nodiscard]] StatusListBox& ListBox1() { return *list_box1_; }
  [[nodiscard]] bool PassRunning() const { return running_; }
  // The program's exit status as things stand.
  [[nodiscard]] int exit_status() const;

  // Operator.
  void StatusLine(std::string_view text) override;
  void SetProgressLabel(std::string_view text) override;
  void SetStatus1(std::string_view text) override;
  void SetError1(std::string_view text) override;
  void ShowHealth(std::string_view text, bool unwell) override;
  Answer ShowBox(BoxKind kind, Buttons buttons, std::string_view text) override;
  void giveTurn() override;
  std::optional<std::string> TypedAnswer(TypedQuestion question) override;
  void StartTimer() override;
  void ResetTicks() override;
  [[nodiscard]] int Ticks() override;
  void PlaySound(const std::filesystem::path& file) override;
  void Beep() override;
  bool WaitForChild(platform::ChildProcess& child,
                    std::optional<std::chrono::milliseconds> limit) override;

 signals:
  // The window has closed for good: the program ends.
  void Closed();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void BuildFields();
  void BuildButtons();
  void LayOut();
  void BuildTrayIcon();
  void ConnectHandlers();
  void UpdateTrayTip();
  [[nodiscard]] QString StationFolder() const;
  QPushButton* MakeButton(const char* name, const char* caption, const char* hint = nullptr);

  void Button1Click();
  void StopClick();
  void BitBtn1Click();
  void AutoGOCheckClick();
  void Timer1Timer() { ++ticks_; }
  void Button2Click();
  template <typename Window>
  void OpenWindow();
  void Button8Click();
  void ExplorerButton1Click();
  void ExplorerButton2Click();
  void ExplorerButton3Click();
  void Button6Click();
  void WinTaskbar1Click(QSystemTrayIcon::ActivationReason reason);
  void urllabelClick();
  void HeldClick();
  void ShowHeldCount();

  // Runs a handler as every handler runs: an error that leaves it is shown in a box, the end
  // of the program is carried out. False when the handler did not run to its end.
  template <typename Handler>
  bool Guarded(Handler&& handler);
  // The boxes and BitBtn1 from the station's records.
  void SyncControls();
  // After a handler: the window closes once the core has agreed and no pass runs.
  void CloseWhenAgreed();
  void EndTheProgram(ExitStatus status);
  void SetFileButtonsEnabled(bool enabled);
  void SavePlacement();
  void OpenOrSayWhy(const std::string& target);

  Station station_;
  WindowPlacementFile placement_;
  QDialog* info_ = nullptr;

  QPushButton* button1_ = nullptr;
  QPushButton* button2_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* button3_ = nullptr;
  QPushButton* button4_ = nullptr;
  QPushButton* button8_ = nullptr;
  QPushButton* button5_ = nullptr;
  QPushButton* button7_ = nullptr;
  QPushButton* explorer_button4_ = nullptr;
  QPushButton* explorer_button1_ = nullptr;
  QPushButton* explorer_button2_ = nullptr;
  QPushButton* explorer_button3_ = nullptr;
  QPushButton* button6_ = nullptr;
  QPushButton* bit_btn1_ = nullptr;
  QPushButton* held_button_ = nullptr;  // "Held: n"
  QCheckBox* check_box1_ = nullptr;
  QCheckBox* auto_go_check_ = nullptr;
  QLineEdit* status1_ = nullptr;
  QLineEdit* error1_ = nullptr;
  QLabel* panel1_ = nullptr;
  QLabel* label2_ = nullptr;
  QLabel* label1_ = nullptr;
  QLabel* health_ = nullptr;  // HEALTH in one line
  QLabel* urllabel_ = nullptr;
  StatusListBox* list_box1_ = nullptr;
  QTimer* timer1_ = nullptr;
  QSystemTrayIcon* win_taskbar1_ = nullptr;
  QAction* tray_show_ = nullptr;
  QAction* tray_go_ = nullptr;
  QAction* tray_quit_ = nullptr;

  int ticks_ = 0;
  bool running_ = false;
  bool ending_ = false;
  bool closed_ = false;
  ExitStatus end_status_ = ExitStatus::kNormal;
  std::optional<cycle::PassEnd> last_pass_;
  QDateTime last_pass_time_;
};

}  // namespace tidewire::app
