// The path editor driven as a user drives it: clicks on its canvas, pointer
// moves, "Clear" and "Back to Main Window", with the main window's path table
// and movie size fields checked afterwards.
#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <functional>

#include "path_editor/fin_path.h"
#include "tests/support/window_fixture.h"

namespace {

constexpr QRgb kNavy = 0xFF00007F, kGreen = 0xFF00FF00, kWhite = 0xFFFFFFFF;

class PathEditorTest : public WindowTest {
 protected:
  // Opens the editor modally and runs the script inside it; the script ends
  // by leaving the editor.
  void RunEditor(const std::function<void(fin_path*)>& script) {
    bool ran = false;
    QObject scope;  // the timer ends with this function, fired or not
    QTimer::singleShot(0, &scope, [&] {
      auto* editor = qobject_cast<fin_path*>(QApplication::activeModalWidget());
      ASSERT_NE(editor, nullptr);
      ran = true;
      script(editor);
      if (QApplication::activeModalWidget() == editor) editor->close();
    });
    w_->EditPath();
    EXPECT_TRUE(ran);
  }
  static void Click(fin_path* e, int x, int y) {
    if (x == 0 && y == 0) {  // QTest reads (0, 0) as "the centre"
      const QPointF at(0, 0), global = e->Canvas1->mapToGlobal(at);
      QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, {});
      QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, {});
      QApplication::sendEvent(e->Canvas1, &press);
      QApplication::sendEvent(e->Canvas1, &release);
      return;
    }
    QTest::mouseClick(e->Canvas1, Qt::LeftButton, {}, QPoint(x, y));
  }
  static void Move(fin_path* e, int x, int y) { QTest::mouseMove(e->Canvas1, QPoint(x, y)); }
  static void Finish(fin_path* e) { QTest::mouseClick(e->PushButton1, Qt::LeftButton); }
  static QStringList Readouts(fin_path* e) {
    QStringList texts;
    for (auto* s : e->StaticCC) texts << s->Text();
    return texts;
  }
  const PathTable& Path() { return w_->percorso; }
};

TEST_F(PathEditorTest, ClicksRecordPointsAndFinishingMovesThePathToTheOrigin) {
  OpenWindow();
  QPointer<fin_path> opened;
  RunEditor([&](fin_path* e) {
    opened = e;
    EXPECT_EQ(e->size(), QSize(740, 590));
    Move(e, 30, 40);  // before any click only x and y follow the pointer
    EXPECT_EQ(Readouts(e), QStringList({"x: 30", "y: 40", "dx: 0", "dy: 0", "n: 0"}));

    Click(e, 100, 50);
    // The first click draws a dot and the crosshair, no line.
    EXPECT_EQ(e->q->image().pixel(100, 50), kNavy);
    EXPECT_EQ(e->q->image().pixel(200, 50), kWhite);
    EXPECT_EQ(e->Canvas1->Screen().pixel(200, 50), kGreen);
    Click(e, 400, 50);
    Click(e, 400, 250);
    EXPECT_EQ(Path().RowUpper(), 3);
    EXPECT_EQ(Path().ColUpper(), 1);
    EXPECT_EQ(Path().Get(0, 0), 3.0);
    EXPECT_EQ(Path().Get(2, 0), 400.0);
    EXPECT_EQ(Path().Get(3, 1), 250.0);
    // Segments are in the picture; the crosshair only on the canvas, through
    // the last click.
    EXPECT_EQ(e->q->image().pixel(250, 50), kNavy);
    EXPECT_EQ(e->q->image().pixel(400, 150), kNavy);
    EXPECT_EQ(e->Canvas1->Screen().pixel(10, 250), kGreen);
    EXPECT_EQ(e->Canvas1->Screen().pixel(10, 50), kWhite);
    EXPECT_EQ(e->q->image().pixel(10, 250), kWhite);

    Move(e, 265, 240);
    EXPECT_EQ(Readouts(e), QStringList({"x: 265", "y: 240", "dx: -135", "dy: -10", "n: 3"}));
    Finish(e);
  });
  EXPECT_TRUE(opened.isNull());  // each opening is a new window

  ASSERT_EQ(Path().RowUpper(), 5);
  const double expected[6][2] = {{3, 0}, {0, 0}, {300, 0}, {300, 200}, {300, 200}, {500, 0}};
  for (int r = 0; r <= 5; ++r)
    for (int c = 0; c <= 1; ++c) EXPECT_EQ(Path().Get(r, c), expected[r][c]) << r << "," << c;
  EXPECT_EQ(w_->EditXY[3]->Text(), "318");
  EXPECT_EQ(w_->EditXY[4]->Text(), "218");
  EXPECT_TRUE(dialogs_->messages.isEmpty());
}

TEST_F(PathEditorTest, FewerThanThreePointsLeaveNoPath) {
  OpenWindow();
  for (int clicks : {2, 0}) {
    RunEditor([&](fin_path* e) {
      for (int i = 0; i < clicks; ++i) Click(e, 50 + 100 * i, 60);
      Finish(e);
    });
    EXPECT_EQ(Path().Get(0, 0), 0.0) << clicks;
  }
  EXPECT_EQ(dialogs_->messages, QStringList(2, "Three points or more needed to set animation path!"));
  EXPECT_EQ(Path().RowUpper(), 2);  // no extent or length row was added
  EXPECT_EQ(w_->EditXY[3]->Text(), "400");
  EXPECT_EQ(w_->EditXY[4]->Text(), "200");
}

TEST_F(PathEditorTest, ClearReopenAndRepeatedPoints) {
  OpenWindow();
  RunEditor([&](fin_path* e) {
    Click(e, 0, 0);
    Click(e, 699, 519);  // the canvas's corner pixels are points too
    EXPECT_EQ(Path().Get(1, 0), 0.0);
    EXPECT_EQ(Path().Get(2, 0), 699.0);
    EXPECT_EQ(Path().Get(2, 1), 519.0);
    QTest::mouseClick(e->PushButton2, Qt::LeftButton);
    EXPECT_EQ(Readouts(e), QStringList({"x: 0", "y: 0", "dx: 0", "dy: 0", "n: 0"}));
    EXPECT_EQ(e->Canvas1->Screen().pixel(0, 0), kWhite);
    EXPECT_EQ(e->Canvas1->Screen().pixel(5, 519), kWhite);  // crosshair gone too
    QTest::keyClick(e, Qt::Key_Escape);  // not a way out
    EXPECT_EQ(QApplication::activeModalWidget(), e);

    for (int i = 0; i < 3; ++i) Click(e, 320, 210);
    EXPECT_EQ(Path().RowUpper(), 3);  // the earlier, longer table was trimmed at the first click
    Move(e, 320, 210);
    EXPECT_EQ(Readouts(e), QStringList({"x: 320", "y: 210", "dx: 0", "dy: 0", "n: 3"}));
    QTest::keyClick(e, Qt::Key_Return);  // the default button
  });
  EXPECT_EQ(Path().Get(0, 0), 3.0);
  EXPECT_EQ(Path().Get(4, 0), 0.0);
  EXPECT_EQ(Path().Get(4, 1), 0.0);
  EXPECT_EQ(Path().Get(5, 0), 0.0);
  EXPECT_EQ(w_->EditXY[3]->Text(), "18");
  EXPECT_EQ(w_->EditXY[4]->Text(), "18");

  // A new opening forgets the finished path at once and starts white.
  RunEditor([&](fin_path* e) {
    EXPECT_EQ(Path().Get(0, 0), 0.0);
    EXPECT_EQ(Readouts(e).last(), "n: 0");
    EXPECT_EQ(e->Canvas1->Screen().pixel(320, 210), kWhite);
    Click(e, 10, 10);
    EXPECT_EQ(Path().RowUpper(), 1);
    Finish(e);
  });
  EXPECT_EQ(Path().Get(0, 0), 0.0);
}

TEST_F(PathEditorTest, CursorOverCanvasAndClosingFromTheWindowSystem) {
  OpenWindow();
  RunEditor([&](fin_path* e) {
    // Enter and leave are sent straight to the canvas: whether a synthetic
    // move produces them depends on where the previous test left the pointer.
    QEnterEvent enter(QPointF(200, 200), QPointF(200, 200), QPointF(200, 200));
    QApplication::sendEvent(e->Canvas1, &enter);
    EXPECT_EQ(e->cursor().shape(), Qt::BitmapCursor);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(e->Canvas1, &leave);
    EXPECT_EQ(e->cursor().shape(), Qt::ArrowCursor);
    Click(e, 10, 20);
    Click(e, 30, 20);
    Click(e, 30, 60);
    e->close();  // as a window manager would: the path is finished, not lost
  });
  EXPECT_EQ(Path().Get(0, 0), 3.0);
  EXPECT_EQ(Path().Get(4, 0), 20.0);
  EXPECT_EQ(Path().Get(5, 0), 60.0);
  EXPECT_EQ(w_->EditXY[3]->Text(), "38");
}

}  // namespace
