// A key held down for real: the program on an X server of its own (Xvfb),
// the key pressed and released by xdotool through the server, the machine
// loaded with busy processes so that X's repeats arrive late.
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

#include "tests/support/window_fixture.h"

namespace {

class HeldKeyTest : public WindowTest {
 protected:
  void SetUp() override {
    if (QStandardPaths::findExecutable("Xvfb").isEmpty() || QStandardPaths::findExecutable("xdotool").isEmpty())
      GTEST_SKIP() << "needs Xvfb and xdotool";
    // The display number Xvfb picked comes back on the pipe of -displayfd.
    xvfb_.start("sh", {"-c", "exec Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null"});
    ASSERT_TRUE(xvfb_.waitForReadyRead(10000));
    const QByteArray display = ":" + xvfb_.readLine().trimmed();
    qputenv("DISPLAY", display);
    qputenv("QT_QPA_PLATFORM", "xcb");
    WindowTest::SetUp();
    StartProgram();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w_));
  }
  void TearDown() override {
    for (QProcess* p : busy_) p->kill();
    for (QProcess* p : busy_) p->waitForFinished();
    qDeleteAll(busy_);
    WindowTest::TearDown();
    xvfb_.kill();
    xvfb_.waitForFinished();
  }

  static void Xdotool(const QStringList& args) { ASSERT_EQ(QProcess::execute("xdotool", args), 0); }

  void LoadTheMachine() {
    for (int i = 0; i < QThread::idealThreadCount(); ++i) {
      busy_.push_back(new QProcess);
      busy_.back()->start("sh", {"-c", "while :; do :; done"});
    }
  }

  QProcess xvfb_;
  std::vector<QProcess*> busy_;
};

}  // namespace

TEST_F(HeldKeyTest, ReturnHeldInAFieldUnderLoadMakesOnePreview) {
  SetField(3, "8");
  SetField(4, "8");
  SetField(2, "100000");
  // A real click puts the X focus into the steps field.
  const QPoint at = w_->EditXY[2]->mapToGlobal(w_->EditXY[2]->rect().center());
  Xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
  ASSERT_TRUE(QTest::qWaitFor([this] { return w_->EditXY[2]->hasFocus(); }, 5000));

  const int before = w_->contatore;
  LoadTheMachine();
  Xdotool({"keydown", "Return"});
  QTest::qWait(2500);
  Xdotool({"keyup", "Return"});
  ASSERT_TRUE(QTest::qWaitFor([this] { return !w_->Busy() && w_->WaitingRequests() == 0; }, 120000));
  QTest::qWait(200);  // any late press would start another render now
  EXPECT_FALSE(w_->Busy());
  EXPECT_EQ(w_->contatore, before + 1);
}
