#include "dialogs/edit_gen_form.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "dialog_fixture.h"
#include "dialogs/edit_text_form.h"
#include "support/scripted_server.h"

namespace tidewire::dialogs {
namespace {

using testing::CrLf;
using testing::WriteBytes;

std::vector<std::string> ConfigLines(std::string line18 = "30") {
  return {"/var/fbb/mail",
          "XX0BBS.#TST.DEU.EU",
          "Testcity",
          "XX0BBS",
          "SB EMAIL@AREA",
          "remailer.example",
          "Info one",
          "Info two",
          "INET",
          "smtp.example.net",
          "pop.example.net",
          "news.example.net",
          "gateway",
          "secret",
          "gate@example.net",
          "TRUE",
          "FALSE",
          line18,
          "FALSE",
          "1",
          "TRUE"};
}

class EditGenFormTest : public testing::DialogTest {
 protected:
  // The dialog over a TWIRE.CFG, shown, with the editor launches recorded.
  std::unique_ptr<TEditGenForm1> Open(std::vector<std::string> lines = ConfigLines()) {
    Write("TWIRE.CFG", lines);
    auto form = std::make_unique<TEditGenForm1>(station, nullptr);
    form->show();
    return form;
  }
  QString Text(const QWidget& form, const char* name) {
    auto* field = Find<QLineEdit>(form, name);
    return field != nullptr ? field->text() : QString();
  }
  QString Caption(const QWidget& form, const char* name) {
    auto* button = Find<QPushButton>(form, name);
    return button != nullptr ? button->text() : QString();
  }
};

TEST_F(EditGenFormTest, ReadsTheFileSkippingLeadingStarLines) {
  std::vector<std::string> lines = ConfigLines();
  lines.insert(lines.begin(), {"* Tidewire *", "****"});
  const auto form = Open(lines);
  EXPECT_EQ(form->windowTitle(), "Settings");
  EXPECT_EQ(Text(*form, "MailinDIR"), "/var/fbb/mail");
  EXPECT_EQ(Text(*form, "AT"), "INET");
  EXPECT_EQ(Text(*form, "EmailAccount"), "gate@example.net");
  EXPECT_EQ(Find<QLineEdit>(*form, "PassWord")->echoMode(), QLineEdit::Password);
  EXPECT_EQ(Text(*form, "AfterXMessageStored"), "30");
  EXPECT_EQ(Text(*form, "AfterXMessageEntry"), "");
  EXPECT_EQ(Find<QLineEdit>(*form, "AfterXMessageEntry")->placeholderText(), "xx");
  EXPECT_EQ(Text(*form, "ConfigurationCode"), "1");
  EXPECT_TRUE(Find<QCheckBox>(*form, "UniversalFrom")->isChecked());
  EXPECT_EQ(Caption(*form, "NewsHeadersButton"), "SHORT HEADERS ENABLED ");
  EXPECT_EQ(Caption(*form, "MailHeadersButton"), "SHORT HEADERS DISABLED");
  EXPECT_EQ(Caption(*form, "SwapButton"), "NEWSGP@INET");
}

// Long info lines and accounts are shown whole; past the width limit the tooltip has the text.
TEST_F(EditGenFormTest, LongFieldsAreReadableWholeAndThePasswordNever) {
  std::vector<std::string> lines = ConfigLines();
  lines[6] = "Gateway of the Testcity radio club, sysop XX0BBS";
  lines[7] = std::string(120, 'i');
  lines[14] = "a.very.long.gateway.account.name@mail.provider.example.net";
  lines[13] = std::string(90, 's');
  const auto form = Open(lines);
  for (const char* name : {"InfoLine", "EmailAccount", "InfoLine2"}) {
    auto* field = Find<QLineEdit>(*form, name);
    const bool fits = field->fontMetrics().horizontalAdvance(field->text()) < field->width();
    const bool tipped = field->toolTip().contains(field->text());
    EXPECT_TRUE(fits || tipped) << name;
  }
  EXPECT_FALSE(Find<QLineEdit>(*form, "InfoLine")->toolTip().contains("Gateway"));
  EXPECT_TRUE(Find<QLineEdit>(*form, "InfoLine2")->toolTip().startsWith("Displayed in 50%"));
  EXPECT_TRUE(Find<QLineEdit>(*form, "PassWord")->toolTip().isEmpty());
}

TEST_F(EditGenFormTest, MissingFileLeavesThePlaceholdersWhichOkWrites) {
  op.ExpectOk(BoxKind::kError,
              "TWIRE.CFG file not found! Please set and save settings\r"
              "or use your Backup disk to restore old one.");
  TEditGenForm1 form(station, nullptr);
  form.show();
  EXPECT_EQ(Text(form, "Remailer"), "remailer");
  Click(form, "OKButton");
  EXPECT_EQ(Read("TWIRE.CFG").substr(0, 11), "MailinDIR\r\n");
}

struct ToggleRow {
  const char* button;
  bool GatewayConfig::*flag;
  const char* first_caption;
  const char* second_caption;
};

class GenFormToggle : public EditGenFormTest, public ::testing::WithParamInterface<ToggleRow> {};

TEST_P(GenFormToggle, EachPressInvertsTheFlagAndItsCaption) {
  const ToggleRow& row = GetParam();
  const auto form = Open();
  const bool before = station.config.*row.flag;
  Click(*form, row.button);
  EXPECT_EQ(station.config.*row.flag, !before);
  EXPECT_EQ(Caption(*form, row.button), row.first_caption);
  Click(*form, row.button);
  EXPECT_EQ(station.config.*row.flag, before);
  EXPECT_EQ(Caption(*form, row.button), row.second_caption);
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, GenFormToggle,
    ::testing::Values(ToggleRow{"NewsHeadersButton", &GatewayConfig::ShortNewsHeaders,
                                "SHORT HEADERS DISABLED", "SHORT HEADERS ENABLED "},
                      ToggleRow{"MailHeadersButton", &GatewayConfig::ShortMailHeaders,
                                "SHORT HEADERS ENABLED ", "SHORT HEADERS DISABLED"},
                      ToggleRow{"SwapButton", &GatewayConfig::SwapNewsAddress, "INET@NEWSGP",
                                "NEWSGP@INET"}),
    [](const auto& info) { return std::string(info.param.button); });

struct SaveRow {
  const char* name;
  const char* stored;  // line 18 as read
  const char* typed;   // into the two-digit field
  const char* written;
};

class GenFormSave : public EditGenFormTest, public ::testing::WithParamInterface<SaveRow> {};

TEST_P(GenFormSave, OkWritesTwentyOneLinesWithLine18FromTheEntry) {
  const auto form = Open(ConfigLines(GetParam().stored));
  QTest::keyClicks(Find<QLineEdit>(*form, "AfterXMessageEntry"), GetParam().typed);
  Click(*form, "NewsHeadersButton");
  Find<QCheckBox>(*form, "UniversalFrom")->setChecked(false);
  Click(*form, "OKButton");
  std::vector<std::string> expected = ConfigLines(GetParam().written);
  expected[15] = "FALSE";  // toggled
  expected[20] = "FALSE";  // box cleared
  EXPECT_EQ(Read("TWIRE.CFG"), CrLf(expected));
  EXPECT_FALSE(form->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Rows, GenFormSave,
                         ::testing::Values(SaveRow{"untouched_empty_line", "", "", "30"},
                                           SaveRow{"untouched_kept", "12", "", "12"},
                                           SaveRow{"typed_05", "12", "05", "05"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EditGenFormTest, OneDigitIsRefusedAndNothingWritten) {
  const auto form = Open();
  const std::string before = Read("TWIRE.CFG");
  QTest::keyClicks(Find<QLineEdit>(*form, "AfterXMessageEntry"), "5x");
  EXPECT_EQ(Text(*form, "AfterXMessageEntry"), "5");
  op.ExpectOk(BoxKind::kWarning, "Enter two digits for the general INFO message (00=disable).");
  Click(*form, "OKButton");
  EXPECT_EQ(Read("TWIRE.CFG"), before);
  EXPECT_TRUE(form->isVisible());
}

struct AdvancedRow {
  const char* name;
  Answer answer;
  bool present_after;
};

class GenFormAdvanced : public EditGenFormTest,
                        public ::testing::WithParamInterface<AdvancedRow> {};

TEST_P(GenFormAdvanced, TheThreeQuestionsSwitchTheFlagFiles) {
  const auto form = Open();
  WriteBytes(dir / "WATCH.DOG", "10\r\n");
  const Answer a = GetParam().answer;
  op.ExpectBox(BoxKind::kConfirmation, Buttons::kYesNo,
               "Send ACK-message to every received message?", a)
      .ExpectBox(BoxKind::kConfirmation, Buttons::kYesNo,
                 "Leave copy of email on mail-server (default=NO) ?", a)
      .ExpectBox(BoxKind::kConfirmation, Buttons::kYesNo,
                 "Enable WatchDog for SOUPER95? (Default=NO)", a);
  if (a == Answer::kYes) op.ThenType("15");
  Click(*form, "AdvancedButton");
  op.VerifyAllShown();
  for (const char* flag : {"ACK", "LCOPY", "WATCH.DOG"}) {
    EXPECT_EQ(std::filesystem::exists(dir / flag), GetParam().present_after) << flag;
  }
  if (a == Answer::kYes) {
    EXPECT_EQ(tidewire::testing::ReadBytes(dir / "WATCH.DOG"), "15\r\n");
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, GenFormAdvanced,
                         ::testing::Values(AdvancedRow{"yes", Answer::kYes, true},
                                           AdvancedRow{"no", Answer::kNo, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EditGenFormTest, MarkAllReadLeavesTheFlagFile) {
  const auto form = Open();
  op.ExpectOk(BoxKind::kInformation,
              "Please re-run the gateway again to mark all messages as read.\r"
              "Choose GO from the main menu.");
  Click(*form, "MarkReadButton");
  EXPECT_TRUE(std::filesystem::exists(dir / "A_READ"));
}

// Test checks the servers as typed, unsaved, with the password in the client's environment:
// a POP3 server that answers, an SMTP server that is not there, no news server.
TEST_F(EditGenFormTest, TestChecksTheServersAsTypedAndShowsWhatEachSaid) {
  std::vector<std::string> heard;
  tidewire::testing::ScriptedServer pop3(
      "+OK ready\r\n", [&](const std::string& line, const auto& send) {
        heard.push_back(line);
        send(line == "CAPA" ? "-ERR\r\n" : line == "STAT" ? "+OK 2 340\r\n" : "+OK\r\n");
      });
  const auto form = Open();
  Find<QLineEdit>(*form, "SMTPmailserver")->setText("127.0.0.1:1");
  Find<QLineEdit>(*form, "POP3mailserver")->setText(QString::fromStdString(pop3.At()));
  Find<QLineEdit>(*form, "NewsServer")->setText("");
  // The own client is looked up beside the program, then on PATH.
  const std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  const std::filesystem::path soup(TIDEWIRE_SOUP_BINARY);
  ::setenv("PATH", (soup.parent_path().string() + ":" + path).c_str(), 1);
  op.ExpectOk(BoxKind::kInformation,
              "SMTP-Mailserver smtp://127.0.0.1:1\r"
              "  cannot connect to 127.0.0.1:1: Connection refused\r"
              "  => FAILED\r\r"
              "POP-Mailserver " +
                  pop3.At() +
                  "\r"
                  "  " +
                  pop3.At() +
                  ": connected, no TLS\r"
                  "  mechanisms offered: USER/PASS only\r"
                  "  logged in as gateway (password)\r"
                  "  2 message(s) waiting\r"
                  "  logged out; nothing was fetched, sent or changed\r"
                  "  => passed\r");
  Click(*form, "TestButton");
  ::setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(heard,
            (std::vector<std::string>{"CAPA", "USER gateway", "PASS secret", "STAT", "QUIT"}));
  EXPECT_EQ(Caption(*form, "TestButton"), "Test");
  EXPECT_FALSE(std::filesystem::exists(dir / "TWIRE.CFG.BAK"));
  EXPECT_EQ(Read("TWIRE.CFG"), CrLf(ConfigLines()));  // nothing saved
}

TEST_F(EditGenFormTest, NewsGroupsOpensTheListEditorOnBothFiles) {
  const auto form = Open();
  Click(*form, "SwapButton");
  Click(*form, "NewsGroupsButton");
  EXPECT_TRUE(std::filesystem::exists(dir / ".NEWSRC"));
  EXPECT_TRUE(std::filesystem::exists(dir / "TWIRE.PTI"));
  auto* editor = form->findChild<TEditTextForm*>();
  ASSERT_NE(editor, nullptr);
  EXPECT_TRUE(editor->isVisible());
  EXPECT_EQ(editor->windowTitle(), ".NEWSRC");
  EXPECT_EQ(Find<QLabel>(*editor, "ExampleAddress")->text(), "(INET @ HACK)");
}

}  // namespace
}  // namespace tidewire::dialogs
