#include "dialogs/text_edit_launcher.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTextEdit>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "base/station.h"
#include "dialogs/info_dialog.h"
#include "support/scripted_operator.h"
#include "support/temp_dir.h"

namespace tidewire::dialogs {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::WriteBytes;
using namespace std::chrono_literals;

// A notepad.exe on PATH that writes the file it was given into a list.
class LauncherTest : public ::testing::TestWithParam<LaunchedFile> {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "bin");
    WriteBytes(dir_ / "bin" / "notepad.exe",
               "#!/bin/sh\necho \"$1\" >> \"" + (dir_ / "opened").string() + "\"\n");
    fs::permissions(dir_ / "bin" / "notepad.exe", fs::perms::owner_all);
    fs::create_directories(work_);
    old_path_ = std::getenv("PATH");
    setenv("PATH", ((dir_ / "bin").string() + ":" + old_path_).c_str(), 1);
  }
  void TearDown() override { setenv("PATH", old_path_.c_str(), 1); }

  // The editor runs detached: its list is waited for.
  std::string Opened() {
    for (auto waited = 0ms; waited < 10s; waited += 20ms) {
      const std::string opened = ReadBytes(dir_ / "opened");
      if (!opened.empty()) return opened;
      std::this_thread::sleep_for(20ms);
    }
    return {};
  }

  testing::TempDir dir_;
  const fs::path work_ = dir_ / "work";
  testing::ScriptedOperator op_;
  Station station_{op_, work_};

 private:
  std::string old_path_;
};

TEST_P(LauncherTest, EachButtonOpensItsFileInTheEditor) {
  TTextEDIT launcher(station_, nullptr);
  EXPECT_EQ(launcher.windowTitle(), "TextEDIT");
  auto* button = launcher.findChild<QPushButton*>(GetParam().button);
  ASSERT_NE(button, nullptr);
  button->click();
  EXPECT_EQ(Opened(), (work_ / GetParam().file).string() + "\n");
  EXPECT_FALSE(launcher.AutoGoStartDue());
}

INSTANTIATE_TEST_SUITE_P(Files, LauncherTest, ::testing::ValuesIn(kLaunchedFiles),
                         [](const auto& info) {
                           std::string name = info.param.button;
                           std::erase_if(name, [](char c) { return !std::isalnum(c); });
                           return name;
                         });

TEST_F(LauncherTest, AnExistingFileIsOpenedInItsOwnLetterCase) {
  WriteBytes(work_ / "TWIRE.MAN", "manual\r\n");
  TTextEDIT launcher(station_, nullptr);
  launcher.findChild<QPushButton*>("Users Manual")->click();
  EXPECT_EQ(Opened(), (work_ / "TWIRE.MAN").string() + "\n");
}

TEST_F(LauncherTest, AnEmptyBroadcastGoesAtOnceAndOneWithContentStays) {
  TTextEDIT launcher(station_, nullptr);
  WriteBytes(work_ / "bmes.txt", "");
  launcher.findChild<QPushButton*>("Broadcast Message")->click();
  EXPECT_FALSE(fs::exists(work_ / "bmes.txt"));
  WriteBytes(work_ / "bmes.txt", "Hello all\r\n");
  launcher.findChild<QPushButton*>("Broadcast Message")->click();
  EXPECT_EQ(ReadBytes(work_ / "bmes.txt"), "Hello all\r\n");
}

TEST_F(LauncherTest, ItsCreationMakesAnAutoGoStartWhenTheFlagIsThere) {
  station_.AutoGoMode = true;
  EXPECT_FALSE(TTextEDIT(station_, nullptr).AutoGoStartDue());
  EXPECT_FALSE(station_.AutoGoMode);

  WriteBytes(work_ / "autogo", "");
  EXPECT_TRUE(TTextEDIT(station_, nullptr).AutoGoStartDue());
  EXPECT_TRUE(station_.AutoGoMode);
}

TEST(InfoDialog, ShowsTheAboutTextAndOkCloses) {
  TInfo1 info(nullptr);
  EXPECT_EQ(info.windowTitle(), "Info Tidewire");
  auto* text = info.findChild<QTextEdit*>();
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(text->isReadOnly());
  EXPECT_EQ(text->lineWrapMode(), QTextEdit::NoWrap);
  EXPECT_TRUE(text->toPlainText().startsWith("* INFO Tidewire *\n"));
  EXPECT_TRUE(text->toPlainText().contains("Version: 1.xx beta for Windows '95/'98/NT"));
  auto* ok = info.findChild<QPushButton*>("OKButton");
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), "OK");
  info.show();
  ok->click();
  EXPECT_EQ(info.result(), QDialog::Accepted);
  EXPECT_FALSE(info.isVisible());
}

}  // namespace
}  // namespace tidewire::dialogs
