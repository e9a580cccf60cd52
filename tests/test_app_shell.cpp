// The application shell's Edit commands on the main window's fields.
#include <QApplication>

#include "app/application.h"
#include "app/menubar.h"
#include "tests/support/window_fixture.h"

namespace {

class AppShellTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    StartProgram();
    SetField(3, "160");
  }
};

}  // namespace

// Edit > "&Delete" removes the selection and nothing else: with no selection
// the text stays as it is.
TEST_F(AppShellTest, EditDeleteRemovesOnlyTheSelection) {
  w_->show();
  w_->activateWindow();
  EditField* field = w_->EditXY[3];
  field->setFocus();
  QApplication::processEvents();
  if (QApplication::focusWidget() != field) GTEST_SKIP() << "no keyboard focus on this platform";
  field->setCursorPosition(1);
  MenuBar1::Instance()->Choose("EditClear");
  EXPECT_EQ(field->Text(), "160");
  field->setSelection(1, 2);
  MenuBar1::Instance()->Choose("EditClear");
  EXPECT_EQ(field->Text(), "1");
}
