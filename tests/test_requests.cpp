// What the user does while a render runs: every request runs afterwards, in
// the order made, with the Command key as it stood at the click; the render
// keeps the settings it started with; quitting ends it at once.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>

#include "app/application.h"
#include "app/menubar.h"
#include "framework/system.h"
#include "tests/support/window_fixture.h"

namespace {

constexpr unsigned kObject = 0x000080;

class RequestTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    StartProgram();
    // Long enough to yield to the event loop many times.
    SetField(3, "160");
    SetField(4, "120");
    SetField(2, "300");
  }

  // Renders a preview; during its first yield, runs during().
  void RenderWhile(const std::function<void()>& during) {
    // The yield hook hands over to the event loop at most every few
    // milliseconds; after this pause its first call does.
    QTest::qWait(20);
    bool overlapped = false;
    QTimer::singleShot(0, w_, [&] {
      overlapped = w_->Rendering();
      during();
    });
    w_->crea_preview(0);
    ASSERT_TRUE(overlapped) << "the render ended before it yielded";
  }

  // The quit's clean-up follows once the stopped render has returned.
  void WaitForClean() {
    EXPECT_TRUE(QTest::qWaitFor([this] { return !QFileInfo::exists(ScratchDir()); }, 5000));
  }

  static void PressReturn(QWidget* field, bool repeat) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r", repeat);
    QApplication::sendEvent(field, &press);
  }

};

}  // namespace

TEST_F(RequestTest, ChoicesDuringARenderAllRunInTheOrderMade) {
  const int before = w_->contatore;
  RenderWhile([this] {
    w_->BevelAnimation[2]->click();  // two previews
    w_->BevelB[3]->click();          // one preview
    EXPECT_EQ(w_->WaitingRequests(), 2);
  });
  EXPECT_EQ(w_->WaitingRequests(), 0);
  EXPECT_EQ(w_->movimento, 2);
  EXPECT_EQ(w_->oggetto, 3);
  EXPECT_EQ(w_->rettopreso1->pos(), w_->BevelAnimation[2]->pos() - QPoint(1, 1));
  EXPECT_EQ(w_->rettopreso->pos(), w_->BevelB[3]->pos() - QPoint(1, 1));
  EXPECT_EQ(w_->contatore, before + 1 + 2 + 1);

  // A File command among them waits its turn too and is not overwritten.
  dialogs_->saveAnswers.push_back(GetFolderItem(Root() + "/project.txt"));
  RenderWhile([this] {
    MenuBar1::Instance()->Choose("FileSaveas");
    w_->BevelB[1]->click();
  });
  EXPECT_EQ(dialogs_->log.filter("save text").size(), 1);
  EXPECT_TRUE(QFileInfo::exists(Root() + "/project.txt"));
  EXPECT_EQ(w_->oggetto, 1);
}

TEST_F(RequestTest, TheCommandKeyCountsAsItWasAtTheClick) {
  // Ctrl+click on the background label removes the picture; it must not
  // become a plain click (a file dialog) because Ctrl is up when it runs.
  w_->sfondo = NewPicture(4, 4, 32);
  RenderWhile([this] {
    OverrideCommandKey(true);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::LeftButton,
                      Qt::ControlModifier);
    QApplication::sendEvent(w_->tStatic2, &press);
    OverrideCommandKey(false);
  });
  EXPECT_TRUE(dialogs_->log.filter("open").isEmpty()) << dialogs_->log.join(", ").toStdString();
  EXPECT_FALSE(w_->sfondo);
}

TEST_F(RequestTest, ARenderKeepsTheSizesItStartedWith) {
  SetField(2, "40");
  RenderWhile([this] { SetField(0, "60"); });
  const std::vector<QImage> frames = DecodeAllFrames(w_->f->AbsolutePath());
  ASSERT_EQ(frames.size(), 40u);
  // Every frame shows the one 18 x 18 oval, erased cleanly where it was.
  const int oval = CountPixels(frames[0], kObject);
  for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(CountPixels(frames[i], kObject), oval) << "frame " << i + 1;
}

TEST_F(RequestTest, ReturnHeldDownOrRepeatedMakesOnePreview) {
  const int before = w_->contatore;
  PressReturn(w_->EditXY[2], false);
  for (int i = 0; i < 20; ++i) PressReturn(w_->EditXY[2], true);
  EXPECT_EQ(w_->contatore, before + 1);

  // Returns waiting for the same render merge into one preview.
  RenderWhile([this] {
    for (int k : {0, 1, 2}) PressReturn(w_->EditXY[k], false);
    EXPECT_EQ(w_->WaitingRequests(), 1);
  });
  EXPECT_EQ(w_->contatore, before + 3);
}

TEST_F(RequestTest, QuitDuringARunawayRenderEndsItAndLeavesNoMovie) {
  SetField(3, "8");
  SetField(4, "8");
  SetField(2, "2000000000");
  const int before = w_->contatore;
  RenderWhile([this] {
    w_->BevelB[1]->click();  // dropped by the quit
    w_->close();
  });
  EXPECT_EQ(w_->contatore, before + 1);
  WaitForClean();
  const QString trashed = TrashFiles() + "/ftemp";
  ASSERT_TRUE(QFileInfo(trashed).isDir());
  const QStringList left = QDir(trashed).entryList(QDir::Files | QDir::Hidden);
  EXPECT_FALSE(left.contains("temp" + QString::number(before + 1) + ".mov")) << left.join(" ").toStdString();
  for (const QString& name : left) EXPECT_FALSE(name.contains("partial")) << name.toStdString();
  EXPECT_EQ(w_->oggetto, 0);
}

TEST_F(RequestTest, QuitDuringAnExportLeavesNoFileAtTheTarget) {
  SetField(2, "2000000000");
  SetField(3, "8");
  SetField(4, "8");
  const QString target = Root() + "/out/movie.mov";
  QDir().mkpath(Root() + "/out");
  dialogs_->saveAnswers.push_back(GetFolderItem(target));
  dialogs_->compressionAnswers.push_back(CompressionSettings{});
  QTimer::singleShot(0, w_, [] { MenuBar1::Instance()->Choose("FileQuit"); });
  w_->PushButton2->click();
  WaitForClean();
  EXPECT_TRUE(QDir(Root() + "/out").entryList(QDir::Files | QDir::Hidden).isEmpty());
}
