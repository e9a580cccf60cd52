// The application object around a running render: quitting while a preview is
// being written must neither pull the movie from under the render nor skip the
// scratch-folder clean-up.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <functional>

#include "app/application.h"
#include "app/menubar.h"
#include "tests/support/window_fixture.h"

namespace {

class AppShellTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    app_ = StartUp();
    w_ = Window1::InstanceIfOpen();
    ASSERT_TRUE(w_);
    // A render long enough to yield to the event loop many times.
    SetField(3, "160");
    SetField(4, "120");
    SetField(2, "600");
  }

  // Lets the event loop run until the application has quit (or time is up).
  void WaitForQuit() {
    QElapsedTimer clock;
    clock.start();
    while (!app_->Quitting() && clock.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  }

  // Asks to quit from inside the render's first yield, then renders.
  void QuitDuringRender(const std::function<void()>& quit) {
    bool askedWhileRendering = false;
    QObject scope;  // the timer ends with this function, fired or not
    QTimer::singleShot(0, &scope, [&] {
      askedWhileRendering = w_->Rendering();
      quit();
    });
    w_->crea_preview(0);
    ASSERT_TRUE(askedWhileRendering) << "the render ended before it yielded";
    // The render ran to its end and finished its movie.
    EXPECT_FALSE(app_->Quitting());
    EXPECT_EQ(DecodeAllFrames(w_->f->AbsolutePath()).size(), 600u);
    WaitForQuit();
    EXPECT_TRUE(app_->Quitting());
    EXPECT_FALSE(QFileInfo::exists(ScratchDir()));
    EXPECT_TRUE(QFileInfo(TrashFiles() + "/ftemp").isDir());
  }

  App* app_ = nullptr;
};

}  // namespace

TEST_F(AppShellTest, QuitFromTheMenuDuringARenderWaitsForIt) {
  QuitDuringRender([] { MenuBar1::Instance()->Choose("FileQuit"); });
}

TEST_F(AppShellTest, ClosingTheWindowDuringARenderWaitsForIt) {
  QuitDuringRender([this] { w_->close(); });
}

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
