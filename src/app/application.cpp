#include "app/application.h"

#include <cstdio>
#include <filesystem>
#include <optional>

#include "cycle/exit_status.h"
#include "app/instance_channel.h"
#include "app/main_window.h"
#include "base/errors.h"
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

int Run(QApplication& application, const std::filesystem::path& work_dir) {
  TForm1 form(work_dir, platform::IniFile::DefaultPath());
  if (!form.FormCreate()) return form.exit_status();
  QObject::connect(&form, &TForm1::Closed, &application, &QApplication::quit, Qt::QueuedConnection);
  form.show();
  InstanceServer server(work_dir, &form);
  QObject::connect(&server, &InstanceServer::ShowRequested, &form, &TForm1::ShowFromAnotherStart);

  // The start instances: owned by the main window, never shown. The launcher comes last; with
  // the flag file "autogo" its creation runs the first pass.
  form.SetInfoDialog(new dialogs::TInfo1(&form));
  new dialogs::TEditUserForm1(form.station(), &form);
  new dialogs::TEditGenForm1(form.station(), &form);
  new dialogs::TEditTextForm(form.station(), &form);
  new dialogs::TTextEDIT(
      form.station(), [&form] { form.PressGo(); }, &form);

  application.setQuitOnLastWindowClosed(false);
  (void)application.exec();
  return form.exit_status();
}

}  // namespace

int RunApplication(QApplication& application) {
  application.setApplicationName("tidewire");
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
