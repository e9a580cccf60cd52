// The application shell: the Edit commands on the main window's fields, and
// how the desktop knows the window.
#include <QApplication>
#include <QFontInfo>
#include <QIcon>
#include <QList>
#include <QSize>

#include "app/application.h"
#include "app/desktop_id.h"
#include "app/desktop_identity.h"
#include "app/menubar.h"
#include "framework/desktop_application.h"
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

// On a system whose only sans-serif match is a fixed-pitch face (fontconfig
// with nothing but the Liberation fonts gives Liberation Mono), menus and
// dialogs get a proportional sans-serif face of the same size; a
// proportional system font stays as it is.
TEST_F(AppShellTest, TheInterfaceFontIsProportional) {
  QFont mono("Liberation Mono");
  mono.setPointSize(11);
  ASSERT_TRUE(QFontInfo(mono).fixedPitch());
  const QFont chosen = ProportionalInterfaceFont(mono);
  EXPECT_EQ(QFontInfo(chosen).family(), "Liberation Sans");
  EXPECT_FALSE(QFontInfo(chosen).fixedPitch());
  EXPECT_EQ(chosen.pointSize(), 11);
  EXPECT_EQ(ProportionalInterfaceFont(chosen), chosen);
  EXPECT_FALSE(QFontInfo(QApplication::font()).fixedPitch());
}
