// tidewire-window-shots STATION FOLDER: makes each of the six windows on STATION, as the
// program makes them at start, and saves a PNG of each into FOLDER.
#include <QApplication>
#include <QTest>
#include <cstdio>
#include <filesystem>

#include "app/main_window.h"
#include "dialogs/edit_gen_form.h"
#include "dialogs/edit_text_form.h"
#include "dialogs/edit_user_form.h"
#include "dialogs/info_dialog.h"
#include "dialogs/text_edit_launcher.h"
#include "platform/ini_file.h"

namespace {

bool Shoot(QWidget& window, const std::filesystem::path& folder) {
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return false;
  QTest::qWait(200);  // fonts and styles settle after the first exposure
  const std::filesystem::path file = folder / (window.objectName().toStdString() + ".png");
  const bool saved = window.grab().save(QString::fromStdString(file.string()));
  std::printf("%s %s\n", saved ? "saved" : "FAILED", file.c_str());
  window.hide();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: tidewire-window-shots STATION FOLDER\n");
    return 2;
  }
  const std::filesystem::path station = std::filesystem::absolute(argv[1]);
  const std::filesystem::path folder = std::filesystem::absolute(argv[2]);
  std::filesystem::create_directories(folder);
  using namespace tidewire;
  app::TForm1 form(station, platform::IniFile::DefaultPath());
  if (!form.FormCreate()) return 1;
  form.StatusLine("");
  form.StatusLine("Commands: GO! runs one pass; LOG lists TWIRE.LOG");
  bool all = Shoot(form, folder);
  form.show();
  dialogs::TInfo1 info(&form);
  dialogs::TEditUserForm1 users(form.station(), &form);
  dialogs::TEditGenForm1 settings(form.station(), &form);
  dialogs::TEditTextForm lists(form.station(), &form);
  dialogs::TTextEDIT launcher(
      form.station(), [] {}, &form);
  for (QWidget* window :
       std::initializer_list<QWidget*>{&info, &users, &settings, &lists, &launcher}) {
    all = Shoot(*window, folder) && all;
  }
  return all ? 0 : 1;
}
