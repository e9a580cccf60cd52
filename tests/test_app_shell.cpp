// The application shell: the Edit commands on the main window's fields, and
// how the desktop knows the window.
#include <QApplication>
#include <QIcon>
#include <QList>
#include <QSize>

#include "app/application.h"
#include "app/desktop_id.h"
#include "app/desktop_identity.h"
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

// The window announces the desktop ID under which its launcher is installed,
// and carries the program's icon, with a picture drawn for every size.
TEST_F(AppShellTest, WindowCarriesTheDesktopIdAndTheIcon) {
  ApplyDesktopIdentity();
  EXPECT_EQ(QGuiApplication::desktopFileName(), QString(kDesktopFileId));
  QIcon icon = w_->windowIcon();
  ASSERT_FALSE(icon.isNull());
  QList<QSize> expected;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) expected.append(QSize(size, size));
  EXPECT_EQ(icon.availableSizes(), expected);
}
