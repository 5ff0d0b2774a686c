#include "dialogs/edit_user_form.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include "dialog_fixture.h"

namespace tidewire::dialogs {
namespace {

using testing::CrLf;
using testing::WriteBytes;

std::vector<std::string> Users(const char* version, const std::vector<std::string>& calls) {
  std::vector<std::string> lines{version, std::to_string(calls.size())};
  for (const std::string& call : calls) {
    lines.insert(lines.end(), {call, "XX0BBS", "Name " + call, "mail@" + call + ".example"});
  }
  return lines;
}

class EditUserFormTest : public testing::DialogTest {
 protected:
  std::unique_ptr<TEditUserForm1> Open(const std::vector<std::string>& calls) {
    Write("USER.DAT", Users("V1.5c", calls));
    auto form = std::make_unique<TEditUserForm1>(station, nullptr);
    form->SetDesktopOpener([this](const std::string& address) {
      opened.push_back(address);
      return std::string();
    });
    form->show();
    return form;
  }
  void Type(const QWidget& form, const char* field, const char* text) {
    auto* edit = Find<QLineEdit>(form, field);
    edit->clear();
    QTest::keyClicks(edit, text);
  }
  void SelectRow(const QWidget& form, int k) {
    auto* list = Find<QListWidget>(form, "UserList");
    list->scrollToItem(list->item(k - 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(k - 1)).center());
  }
  QString Text(const QWidget& form, const char* name) {
    return Find<QLineEdit>(form, name)->text();
  }
  QString Record(const QWidget& form) { return Find<QLabel>(form, "RecordNumber")->text(); }
  QString Row(const QWidget& form, int k) {
    return Find<QListWidget>(form, "UserList")->item(k - 1)->text();
  }
  std::vector<std::string> opened;
};

TEST_F(EditUserFormTest, ShowsSlotOneAndTheSelectedRow) {
  const auto form = Open({"XX1ABC", "XX2DEF"});
  EXPECT_EQ(form->windowTitle(), "User Settings");
  EXPECT_EQ(Record(*form), "1");
  EXPECT_EQ(Text(*form, "UserCALL"), "XX1ABC");
  SelectRow(*form, 2);
  EXPECT_EQ(Record(*form), "2");
  EXPECT_EQ(Text(*form, "RealName"), "Name XX2DEF");
}

TEST_F(EditUserFormTest, NewThenSaveAddsTheTypedRecord) {
  const auto form = Open({"XX1ABC", "XX2DEF"});
  Click(*form, "NewButton");
  EXPECT_EQ(Record(*form), "3");
  EXPECT_EQ(Text(*form, "UserCALL"), "");
  EXPECT_EQ(form->focusWidget(), Find<QLineEdit>(*form, "UserCALL"));
  Type(*form, "UserCALL", "xx3ghi ");
  Type(*form, "HomeBBS", "xx0bbs");
  Type(*form, "RealName", "Jo Doe");
  Type(*form, "RemailerAccount", "Jo@Example.ORG");
  op.ExpectOk(BoxKind::kInformation,
              "User XX3GHI saved in USER.DAT.\rThe passes see the change after Tidewire is "
              "restarted.");
  Click(*form, "SaveButton");
  EXPECT_EQ(Row(*form, 3), "XX3GHI ");
  // The user just added is found; a call nobody has is said so.
  SelectRow(*form, 1);
  Type(*form, "FindCallEdit", "XX3G");
  Click(*form, "FindCallButton");
  EXPECT_EQ(Record(*form), "3");
  Type(*form, "FindCallEdit", "XX9ZZZ");
  op.ExpectOk(BoxKind::kInformation, "Call XX9ZZZ not found");
  Click(*form, "FindCallButton");
  std::vector<std::string> expected = Users("V1.5c", {"XX1ABC", "XX2DEF"});
  expected[1] = "3";
  expected.insert(expected.end(), {"XX3GHI", "XX0BBS", "Jo Doe", "jo@example.org"});
  EXPECT_EQ(Read("USER.DAT"), CrLf(expected));
}

TEST_F(EditUserFormTest, SaveRefusesANameBeginningWithABlank) {
  const auto form = Open({"XX1ABC"});
  Type(*form, "RealName", " Jo");
  op.ExpectOk(BoxKind::kWarning, "Record not added, some fields are empty");
  Click(*form, "SaveButton");
  EXPECT_EQ(Text(*form, "RealName"), "");
  EXPECT_EQ(Read("USER.DAT"), CrLf(Users("V1.5c", {"XX1ABC"})));
}

TEST_F(EditUserFormTest, NewWithEveryRowTakenSaysSo) {
  std::vector<std::string> calls;
  for (int k = 1; k <= 100; ++k) calls.push_back("X" + std::to_string(k));
  const auto form = Open(calls);
  op.ExpectOk(BoxKind::kInformation, "No empty slot found");
  Click(*form, "NewButton");
  EXPECT_EQ(Record(*form), "1");
}

TEST_F(EditUserFormTest, DelOfTheMiddleSlotWritesTheOtherTwo) {
  const auto form = Open({"XX1ABC", "XX2DEF", "XX3GHI"});
  SelectRow(*form, 2);
  Click(*form, "DelButton");
  EXPECT_EQ(Row(*form, 2), "");
  EXPECT_EQ(Text(*form, "UserCALL"), "");
  EXPECT_EQ(Read("USER.DAT"), CrLf(Users("V1.5c", {"XX1ABC", "XX3GHI"})));
}

TEST_F(EditUserFormTest, FindCallSelectsTheFirstMatchOnce) {
  const auto form = Open({"XX1ABC", "XX2DEF", "YY2DEF"});
  Type(*form, "FindCallEdit", "2def");
  EXPECT_EQ(Text(*form, "FindCallEdit"), "2DEF");
  Click(*form, "FindCallButton");
  EXPECT_EQ(Record(*form), "2");
  EXPECT_EQ(Text(*form, "FindCallEdit"), "");
  SelectRow(*form, 1);
  Click(*form, "FindCallButton");
  EXPECT_EQ(Record(*form), "1");
}

TEST_F(EditUserFormTest, NewDatabaseEmptiesTheFileButNotTheOpenDialog) {
  const auto form = Open({"XX1ABC"});
  op.ExpectBox(BoxKind::kConfirmation, Buttons::kYesNo,
               "Are you realy sure you want to create a new database?", Answer::kYes)
      .ExpectBox(BoxKind::kWarning, Buttons::kYes, "You need to restart the Tidewire software",
                 Answer::kYes);
  Click(*form, "NewDatabaseButton");
  EXPECT_EQ(Read("USER.DAT"), "V1.3x\r\n0\r\n");
  EXPECT_EQ(Row(*form, 1), "XX1ABC");
  EXPECT_FALSE(form->isVisible());
}

TEST_F(EditUserFormTest, SendManualAppendsTheMessageForTheSelectedUser) {
  const auto form = Open({"XX1ABC", "XX2DEF"});
  WriteBytes(dir / "MAIL.IN", "SP XX9ZZZ < TDWIRE\r\nOld\r\n\r\n/EX\r\n");
  WriteBytes(dir / "TWIRE.MAN", "The manual\r\n");
  SelectRow(*form, 2);
  Click(*form, "SendManualButton");
  const std::string mail_in = Read("MAIL.IN");
  const std::string header = "SP XX2DEF @ XX0BBS < TDWIRE\r\n*** TIDEWIRE USER MANUAL ***\r\n";
  EXPECT_EQ(mail_in.find(header), std::string("SP XX9ZZZ < TDWIRE\r\nOld\r\n\r\n/EX\r\n").size());
  EXPECT_TRUE(mail_in.ends_with("The manual\r\n\r\n/EX\r\n"));
}

TEST_F(EditUserFormTest, ServiceButtonsOpenTheirPages) {
  const auto form = Open({});
  op.ExpectOk(BoxKind::kInformation,
              "1. Create a new account for the packet user at GMX.\r"
              "2. Choose forwarding of the mail to the user's address as the account's e-mail "
              "service.\r3. Fill in this dialog with the user's call, home BBS, name and the new "
              "e-mail address.");
  Click(*form, "Service1Button");
  Click(*form, "Service2Button");
  EXPECT_EQ(opened, (std::vector<std::string>{"https://signup.gmx.com/", "https://www.mail.com/"}));
  // Nothing that opens it: a box says what and why.
  form->SetDesktopOpener([](const std::string&) { return std::string("no browser"); });
  op.ExpectOk(BoxKind::kError, "Could not open https://www.mail.com/:\rno browser");
  Click(*form, "Service2Button");
}

}  // namespace
}  // namespace tidewire::dialogs
