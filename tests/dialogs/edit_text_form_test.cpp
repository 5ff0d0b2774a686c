#include "dialogs/edit_text_form.h"

#include <QPlainTextEdit>

#include "dialog_fixture.h"

namespace tidewire::dialogs {
namespace {

using testing::CrLf;

class EditTextFormTest : public testing::DialogTest {
 protected:
  EditTextFormTest() {
    Write(".NEWSRC", {"alt.hackers", "de.comp.os"});
    Write("TWIRE.PTI", {"HACK"});
    form.LoadFile(".NEWSRC");
    form.show();
  }
  QPlainTextEdit* Area(const char* name) { return Find<QPlainTextEdit>(form, name); }

  TEditTextForm form{station, nullptr};
};

TEST_F(EditTextFormTest, LoadsBothFilesSideBySide) {
  EXPECT_EQ(form.windowTitle(), ".NEWSRC");
  EXPECT_EQ(Area("NewsgroupMemo")->toPlainText(), "alt.hackers\nde.comp.os\n");
  EXPECT_EQ(Area("PacketMemo")->toPlainText(), "HACK\n");
}

TEST_F(EditTextFormTest, OkSavesFiveAndThreeLines) {
  Area("NewsgroupMemo")->setPlainText("alt.hackers\nde.comp.os\nrec.radio\n\nsci.physics\n");
  Area("PacketMemo")->setPlainText("HACK\nSB OS @ EU\nRADIO");
  Click(form, "OKButton");
  EXPECT_EQ(Read(".NEWSRC"), CrLf({"alt.hackers", "de.comp.os", "rec.radio", "", "sci.physics"}));
  EXPECT_EQ(Read("TWIRE.PTI"), CrLf({"HACK", "SB OS @ EU", "RADIO"}));
  EXPECT_FALSE(form.isVisible());
}

TEST_F(EditTextFormTest, AbortSavesNothing) {
  Area("NewsgroupMemo")->setPlainText("changed\n");
  Click(form, "AbortButton");
  EXPECT_EQ(Read(".NEWSRC"), CrLf({"alt.hackers", "de.comp.os"}));
  EXPECT_FALSE(form.isVisible());
}

TEST_F(EditTextFormTest, AFileThatCannotBeSavedKeepsTheEditorOpen) {
  std::filesystem::remove(dir / "TWIRE.PTI");
  std::filesystem::create_directory(dir / "TWIRE.PTI");
  op.ExpectOk(BoxKind::kError, "File access denied\r" + (dir / "TWIRE.PTI").string());
  Click(form, "OKButton");
  EXPECT_TRUE(form.isVisible());
}

}  // namespace
}  // namespace tidewire::dialogs
