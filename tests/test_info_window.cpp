// The info window: opened from the File menu, modal, its credit line's
// underline and mail link, closed by Return through "OK" but not by Escape.
#include <QApplication>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "app/application.h"
#include "app/info_window.h"
#include "app/menubar.h"
#include "tests/support/window_fixture.h"

// Receives the links the window asks the desktop to open.
class LinkCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void open(const QUrl& url) { urls << url; }
};

namespace {

class InfoWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    StartUp();
    QDesktopServices::setUrlHandler("mailto", &catcher_, "open");
  }
  void TearDown() override {
    QDesktopServices::unsetUrlHandler("mailto");
    WindowTest::TearDown();
  }
  LinkCatcher catcher_;
};

}  // namespace

TEST_F(InfoWindowTest, OpensFromTheMenuAndClosesWithReturn) {
  bool seen = false;
  QObject scope;  // the timers end with the test, fired or not
  QTimer::singleShot(0, &scope, [&] {
    auto* info = qobject_cast<finestrainfo*>(QApplication::activeModalWidget());
    ASSERT_TRUE(info);
    seen = true;
    EXPECT_EQ(info, finestrainfo::Instance());  // the open one, not a second
    EXPECT_EQ(info->windowTitle(), "Velostrip info");
    EXPECT_EQ(info->size(), QSize(260, 130));
    EXPECT_EQ(info->minimumSize(), info->maximumSize());
    EXPECT_FALSE(info->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint |
                                        Qt::WindowMinimizeButtonHint));
    EXPECT_EQ(info->palette().color(QPalette::Window), QColor(0x91, 0xC9, 0xDF));
    EXPECT_EQ(info->StaticText1->Text(), "Velostrip - v1.0 (Universal Binary)");
    EXPECT_EQ(info->StaticText2->geometry(), QRect(10, 24, 240, 16));

    // Pointing at the credit line underlines it; leaving removes it.
    StaticText* credit = info->StaticText2;
    EXPECT_FALSE(credit->Underline());
    EXPECT_TRUE(credit->toolTip().isEmpty());  // no help tag
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(credit, &enter);
    EXPECT_TRUE(credit->Underline());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(credit, &leave);
    EXPECT_FALSE(credit->Underline());
    EXPECT_FALSE(info->StaticText1->font().underline());

    // A click opens the mail link and leaves the window open.
    QTest::mouseClick(credit, Qt::LeftButton);
    EXPECT_EQ(catcher_.urls, QList<QUrl>{QUrl("mailto:" + finestrainfo::ContactAddress())});
    EXPECT_TRUE(info->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), info);

    // There is no cancel button: Escape leaves it open.
    QTest::keyClick(info, Qt::Key_Escape);
    EXPECT_TRUE(info->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), info);

    QTest::keyClick(info, Qt::Key_Return);
  });
  MenuBar1::Instance()->Choose("FileVelostripinfo");  // returns once the window has closed
  EXPECT_TRUE(seen);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  // A later choice shows a newly made window; "OK" closes it too.
  QTimer::singleShot(0, &scope, [] {
    auto* info = qobject_cast<finestrainfo*>(QApplication::activeModalWidget());
    ASSERT_TRUE(info);
    EXPECT_FALSE(info->StaticText2->Underline());
    QTest::mouseClick(info->PushButton1, Qt::LeftButton);
  });
  MenuBar1::Instance()->Choose("FileVelostripinfo");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

#include "test_info_window.moc"
