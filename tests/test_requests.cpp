// What the user does while a render runs: every request runs afterwards, in
// the order made, with the Command key of its own click; the render
// keeps the settings it started with; quitting ends it at once.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenuBar>
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

TEST_F(RequestTest, AnUndoDuringARenderWaitsItsTurnAndComesOutAsWhenIdle) {
  w_->BevelB[3]->click();
  const int before = w_->contatore;
  RenderWhile([this] {
    MenuBar1::Instance()->Choose("EditUndo");
    w_->BevelAnimation[2]->click();
    MenuBar1::Instance()->Choose("EditUndo");
    EXPECT_EQ(w_->WaitingRequests(), 3);
    EXPECT_EQ(w_->oggetto, 3);
  });
  // The object undone, the motion chosen and undone: each rendered its
  // previews, in turn.
  EXPECT_EQ(w_->oggetto, 0);
  EXPECT_EQ(w_->movimento, 0);
  EXPECT_EQ(w_->contatore, before + 1 + 1 + 2 + 2);
  EXPECT_EQ(w_->menuBar()->findChild<QAction*>("EditRedo")->text(), "&Redo Motion");
}

TEST_F(RequestTest, EachRequestKeepsTheCommandKeyOfItsOwnClick) {
  // Plain and Ctrl clicks during a render; a plain click while the Ctrl
  // request runs (in its compression dialog) and a Ctrl+click while that
  // plain one runs (in its file dialog): the compression is asked for the
  // two Ctrl+clicks only.
  struct Dialogs : ScriptedDialogs {
    std::function<void(const QString&)> during;
    bool SelectCompressionSettings(CompressionSettings& s) override {
      during("compression");
      return ScriptedDialogs::SelectCompressionSettings(s);
    }
    FolderItemPtr ChooseFileToOpen(const QString& type, const QString& start) override {
      during("open");
      return ScriptedDialogs::ChooseFileToOpen(type, start);
    }
  };
  auto owned = std::make_unique<Dialogs>();
  Dialogs* dialogs = owned.get();
  InstallDialogs(std::move(owned));
  dialogs_ = dialogs;
  auto click = [](QWidget* b, Qt::KeyboardModifiers keys) { QTest::mouseClick(b, Qt::LeftButton, keys); };
  std::vector<int> compressed;  // the object kind of each request that asked
  dialogs->during = [&](const QString& call) {
    if (call == "compression") compressed.push_back(w_->oggetto);
    if (call == "compression" && compressed.size() == 1) click(w_->BevelB[5], Qt::NoModifier);
    if (call == "open") click(w_->BevelB[7], Qt::ControlModifier);
  };
  RenderWhile([&] {
    click(w_->BevelB[1], Qt::NoModifier);
    click(w_->BevelB[2], Qt::ControlModifier);
  });
  EXPECT_EQ(compressed, (std::vector<int>{2, 7}));
  EXPECT_EQ(dialogs->log.filter("open").size(), 1);
  EXPECT_EQ(w_->oggetto, 7);
}

TEST_F(RequestTest, AMenuShortcutIsNoCommandClick) {
  // Ctrl+O during a render loads the project with plain previews.
  const QString project = Root() + "/project.txt";
  dialogs_->saveAnswers.push_back(GetFolderItem(project));
  MenuBar1::Instance()->Choose("FileSaveas");
  dialogs_->openAnswers.push_back(GetFolderItem(project));
  w_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w_));
  const int before = w_->contatore;
  RenderWhile([this] { QTest::keyClick(w_, Qt::Key_O, Qt::ControlModifier); });
  EXPECT_EQ(dialogs_->log.filter("open").size(), 1);
  EXPECT_EQ(w_->contatore, before + 1 + 3);
  EXPECT_TRUE(dialogs_->log.filter("compression").isEmpty());
}

TEST_F(RequestTest, AModeClickDuringAProjectLoadIsCarriedOutAfterIt) {
  const QString project = Root() + "/project.txt";
  dialogs_->saveAnswers.push_back(GetFolderItem(project));
  MenuBar1::Instance()->Choose("FileSaveas");  // in "Move"
  dialogs_->openAnswers.push_back(GetFolderItem(project));
  const int before = w_->contatore;
  QTimer poll;
  bool clicked = false;
  poll.callOnTimeout(w_, [&] {
    if (!clicked && w_->auto_ && w_->Rendering()) {
      QTest::mouseClick(w_->RadioBu[1], Qt::LeftButton);
      clicked = true;
    }
  });
  poll.start(1);
  MenuBar1::Instance()->Choose("FileOpen");
  ASSERT_TRUE(clicked);
  EXPECT_TRUE(w_->RadioBu[1]->Value());
  EXPECT_EQ(w_->contatore, before + 3 + 1);
  // The last preview leaves a trail: more object pixels at the end than at the start.
  const std::vector<QImage> frames = DecodeAllFrames(w_->f->AbsolutePath());
  ASSERT_FALSE(frames.empty());
  EXPECT_GT(CountPixels(frames.back(), kObject), CountPixels(frames.front(), kObject));
}

// The arrow keys on the drawing-mode buttons choose during a render as they
// do when nothing runs: from "Move", Down, Down chooses "Copy Clear", each
// choice with its preview (after the render), and the focus ends on it.
TEST_F(RequestTest, ArrowKeysOnTheModeButtonsChooseDuringARenderAsWhenIdle) {
  w_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w_));
  auto downDown = [this] {
    w_->RadioBu[0]->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  };
  for (const bool rendering : {false, true}) {
    SCOPED_TRACE(rendering ? "during a render" : "idle");
    w_->RadioBu[0]->SetValue(true);
    const int before = w_->contatore;
    if (rendering) {
      RenderWhile([&] {
        downDown();
        EXPECT_EQ(w_->WaitingRequests(), 2);
      });
    } else {
      downDown();
    }
    EXPECT_TRUE(w_->RadioBu[2]->Value());
    EXPECT_EQ(QApplication::focusWidget(), w_->RadioBu[2]);
    EXPECT_EQ(w_->contatore, before + (rendering ? 1 : 0) + 2);
    // The last preview is Copy Clear's: the trail of 300 frames wiped in as many.
    ASSERT_TRUE(w_->MoviePlayer1->GetMovie());
    EXPECT_EQ(w_->MoviePlayer1->GetMovie()->FrameCount(), 600);
  }
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

TEST_F(RequestTest, AHeldReturnMakesOnePreview) {
  // A held key as X delivers it to a busy program: a press, then pairs of
  // release and press with one time each, not marked as repeats.
  const int before = w_->contatore;
  auto key = [this](QEvent::Type type, quint64 time) {
    QKeyEvent e(type, Qt::Key_Return, Qt::NoModifier, "\r");
    e.setTimestamp(time);
    QApplication::sendEvent(w_->EditXY[2], &e);
  };
  key(QEvent::KeyPress, 1000);
  for (quint64 t = 1500; t < 2500; t += 33) {
    key(QEvent::KeyRelease, t);
    key(QEvent::KeyPress, t);
  }
  key(QEvent::KeyRelease, 2600);
  EXPECT_EQ(w_->contatore, before + 1);
  key(QEvent::KeyPress, 2700);  // pressed again: a new preview
  key(QEvent::KeyRelease, 2800);
  EXPECT_EQ(w_->contatore, before + 2);

  // Returns waiting for the same render merge into one preview.
  RenderWhile([this] {
    for (int k : {0, 1, 2}) QTest::keyClick(w_->EditXY[k], Qt::Key_Return);
    EXPECT_EQ(w_->WaitingRequests(), 1);
  });
  EXPECT_EQ(w_->contatore, before + 4);
}

TEST_F(RequestTest, QuitDuringARunawayRenderEndsItAndLeavesNoMovie) {
  SetField(3, "8");
  SetField(4, "8");
  SetField(2, "2000000000");
  const int before = w_->contatore;
  dialogs_->saveChangesAnswers.push_back(SaveChanges::DontSave);
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
  dialogs_->saveChangesAnswers.push_back(SaveChanges::DontSave);
  QTimer::singleShot(0, w_, [] { MenuBar1::Instance()->Choose("FileQuit"); });
  w_->PushButton2->click();
  WaitForClean();
  EXPECT_TRUE(QDir(Root() + "/out").entryList(QDir::Files | QDir::Hidden).isEmpty());
}
