#include "app/application.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>

#include "app/instance_channel.h"
#include "app/main_window.h"
#include "base/errors.h"
#include "cycle/exit_status.h"
#include "dialogs/edit_gen_form.h"
#include "dialogs/edit_text_form.h"
#include "dialogs/edit_user_form.h"
#include "dialogs/info_dialog.h"
#include "dialogs/text_edit_launcher.h"
#include "platform/ini_file.h"
#include "platform/single_instance.h"

namespace tidewire::app {

namespace {

constexpr const char* kLockFile = "tidewire.lck";
constexpr const char* kUsage =
    "usage: tidewire [STATION-DIRECTORY | --menu]\n"
    "  The window of the gateway in the station directory (default: the current directory).\n"
    "  --menu  the station of the desktop menu: $XDG_DATA_HOME/tidewire/station\n";

// The desktop menu starts the program in the home folder, which is no station: the menu's
// station is the user's own data folder, made on first use.
std::filesystem::path MenuStation() {
  std::filesystem::path base = ".";
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
    base = data;
  } else if (const char* home = std::getenv("HOME"); home != nullptr) {
    base = std::filesystem::path(home) / ".local/share";
  }
  return base / "tidewire" / "station";
}

// Moves into the station the command line names; false (after saying why) when it cannot.
bool EnterStation(const QStringList& arguments, int& status) {
  if (arguments.size() <= 1) return true;
  const QString argument = arguments.at(1);
  if (arguments.size() > 2 || argument == "--help" ||
      (argument.startsWith('-') && argument != "--menu")) {
    const bool asked = arguments.size() == 2 && argument == "--help";
    std::fputs(kUsage, asked ? stdout : stderr);
    status = asked ? 0 : static_cast<int>(ExitStatus::kUsage);
    return false;
  }
  const bool menu = argument == "--menu";
  const std::filesystem::path station =
      menu ? MenuStation() : std::filesystem::path(argument.toStdString());
  std::error_code error;
  if (menu) {
    std::filesystem::create_directories(station, error);
    if (!error) std::filesystem::permissions(station, std::filesystem::perms::owner_all, error);
  }
  if (!error) std::filesystem::current_path(station, error);
  if (error) {
    std::fprintf(stderr, "Cannot open the station directory %s: %s\n", station.c_str(),
                 error.message().c_str());
    status = static_cast<int>(ExitStatus::kUsage);
    return false;
  }
  return true;
}

int Run(QApplication& application, const std::filesystem::path& work_dir) {
  TForm1 form(work_dir, platform::IniFile::DefaultPath());
  if (!form.FormCreate()) return form.exit_status();
  QObject::connect(&form, &TForm1::Closed, &application, &QApplication::quit, Qt::QueuedConnection);
  // An unattended start comes up beside the window in use, not in front of its keyboard.
  if (form.station().AutoGoMode) form.setAttribute(Qt::WA_ShowWithoutActivating);
  form.show();
  InstanceServer server(work_dir, &form);
  QObject::connect(&server, &InstanceServer::ShowRequested, &form, &TForm1::ShowFromAnotherStart);

  // The start instances: owned by the main window, never shown. The launcher comes last: its
  // creation reads the flag file "autogo".
  form.SetInfoDialog(new dialogs::TInfo1(&form));
  new dialogs::TEditUserForm1(form.station(), &form);
  new dialogs::TEditGenForm1(form.station(), &form);
  new dialogs::TEditTextForm(form.station(), &form);
  const auto* launcher = new dialogs::TTextEDIT(form.station(), &form);
  // The AutoGO start: one pass now; the pass ends the program through Stop.
  if (launcher->AutoGoStartDue()) form.PressGo();

  application.setQuitOnLastWindowClosed(false);
  (void)application.exec();
  return form.exit_status();
}

}  // namespace

int RunApplication(QApplication& application) {
  application.setApplicationName("tidewire");
  if (int status = 0; !EnterStation(QApplication::arguments(), status)) return status;
  const std::filesystem::path work_dir = std::filesystem::current_path();
  std::optional<platform::SingleInstance> instance;
  try {
    instance.emplace(kLockFile);
  } catch (const IoError& error) {
    std::fprintf(stderr, "Cannot open the lock file %s: %s\n", error.file().c_str(), error.what());
    return static_cast<int>(ExitStatus::kLockFileUnusable);
  }
  if (!instance->held()) {
    const bool called = CallRunningInstance(work_dir);
    std::fprintf(stderr, "Another Tidewire instance is running in this directory%s.\n",
                 called ? "; its window comes to the front" : "");
    return static_cast<int>(ExitStatus::kAnotherInstance);
  }
  return Run(application, work_dir);
}

}  // namespace tidewire::app
