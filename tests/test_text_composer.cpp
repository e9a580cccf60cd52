// The text composer driven as a user drives it: clicks on the character
// buttons, typing, the font menu and style boxes, and leaving it, which
// writes the text, font, styles and character count into the main window.
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QKeyEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <functional>

#include "tests/support/window_fixture.h"
#include "text_composer/window2.h"

namespace {

class TextComposerTest : public WindowTest {
 protected:
  // Opens the composer modally (through `open`, by default directly), runs
  // the steps on it and, unless the steps left it already, clicks "Back to
  // Main Window".
  void Compose(const std::function<void(Window2*)>& steps, const std::function<void()>& open = {}) {
    bool ran = false;
    // The caller may yield to the event loop before the window is up (the
    // object choice does), so the script waits for the window to be shown;
    // `alive` cancels a pending try once this function has returned.
    QObject alive;
    std::function<void()> attempt = [&] {
      QPointer<Window2> d = qobject_cast<Window2*>(QApplication::activeModalWidget());
      if (!d) {
        QTimer::singleShot(1, &alive, attempt);
        return;
      }
      ASSERT_EQ(d.data(), Window2::InstanceIfOpen());
      steps(d);
      ran = true;
      if (d && d->isVisible()) QTest::mouseClick(d->PushButton1, Qt::LeftButton);
    };
    QTimer::singleShot(0, &alive, attempt);
    if (open)
      open();
    else
      w_->ComposeText();
    EXPECT_TRUE(ran);
    EXPECT_EQ(Window2::InstanceIfOpen(), nullptr);  // each opening is a new window
  }
  void Click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
  QStringList Slots() const { return {w_->asciino[0], w_->asciino[1], w_->asciino[2], w_->asciino[3], w_->asciino[4]}; }
};

QString DefaultFont() {
  // What the font menu preselects: Arial, here under its configured family.
  return QFontInfo(QFont("Arial")).family();
}

TEST_F(TextComposerTest, OpensWithPlaceholderGridAndArialAndLeavingStoresThem) {
  OpenWindow();
  w_->asciino[0].clear();
  w_->asciino[1] = "Courier";  // never read: the menu starts at its preselected row
  w_->asciino[2] = "true";
  Compose([&](Window2* d) {
    EXPECT_EQ(d->EditField1->Text(), "write a text here");
    EXPECT_EQ(d->StaticText1->Text(), "chr : 17");
    EXPECT_EQ(d->scelto, 65);
    for (int i = 0; i < 128; ++i) {
      EXPECT_EQ(d->RadioB[i]->Value(), i == 65) << i;
      EXPECT_EQ(d->RadioB[i]->Caption(), QString(QChar(i))) << i;
      EXPECT_FALSE(d->RadioB[i]->text().isEmpty()) << i;  // control characters get a visible label
      EXPECT_EQ(d->RadioB[i]->TextFont(), DefaultFont()) << i;
      for (int j = 0; j < i; ++j) EXPECT_FALSE(d->RadioB[i]->geometry().intersects(d->RadioB[j]->geometry()));
    }
    EXPECT_EQ(d->RadioB[0]->geometry().united(d->RadioB[127]->geometry()), QRect(11, 63, 303, 367));
    EXPECT_GT(d->EditField1->geometry().top(), d->RadioB[127]->geometry().bottom());
    EXPECT_EQ(d->PopupMenu1->currentText(), DefaultFont());
    EXPECT_EQ(d->PopupMenu1->count(), QFontDatabase::families().size());  // every installed font is listed
    EXPECT_EQ(d->EditField1->font().family(), DefaultFont());
    for (auto* c : d->CheckB) EXPECT_FALSE(c->Value());
    EXPECT_EQ(d->windowTitle(), "ASCII Text Character");
    // No cancel: Escape leaves the window open.
    QTest::keyClick(d->EditField1, Qt::Key_Escape);
    EXPECT_TRUE(d->isVisible());
  });
  EXPECT_EQ(Slots(), QStringList({"write a text here", DefaultFont(), "false", "false", "false"}));
  EXPECT_EQ(w_->EditXY[2]->Text(), "17");
}

TEST_F(TextComposerTest, ButtonsAppendAtTheEndTypingInsertsAndTheCounterFollows) {
  OpenWindow();
  w_->asciino[0] = "old";
  Compose([&](Window2* d) {
    EXPECT_EQ(d->EditField1->Text(), "old");
    EXPECT_EQ(d->StaticText1->Text(), "chr : 3");
    d->EditField1->setFocus();
    d->EditField1->selectAll();
    QTest::keyClick(d->EditField1, Qt::Key_Backspace);
    EXPECT_EQ(d->StaticText1->Text(), "chr : 0");
    for (int code : {65, 66, 67}) Click(d->RadioB[code]);
    EXPECT_EQ(d->EditField1->Text(), "ABC");
    EXPECT_EQ(d->StaticText1->Text(), "chr : 3");
    // With "A" selected, a click still appends; so does a click on the button already on.
    d->EditField1->setSelection(0, 1);
    Click(d->RadioB[10]);
    Click(d->RadioB[10]);
    EXPECT_EQ(d->scelto, 10);
    EXPECT_EQ(d->EditField1->Text(), "ABC\n\n");
    Click(d->RadioB[127]);
    EXPECT_EQ(d->StaticText1->Text(), "chr : 6");
    // Typing goes where the cursor is; the keyboard stayed in the field.
    d->EditField1->setCursorPosition(1);
    QTest::keyClicks(d->EditField1, "xy");
    EXPECT_EQ(d->EditField1->Text(), QString("AxyBC\n\n") + QChar(127));
    EXPECT_EQ(d->StaticText1->Text(), "chr : 8");
  });
  EXPECT_EQ(w_->asciino[0], QString("AxyBC\n\n") + QChar(127));
  EXPECT_EQ(w_->EditXY[2]->Text(), "8");

  // Text set by code, longer than a line edit's usual limit, is kept whole and counted.
  const QString longText(40000, QChar('x'));
  Compose([&](Window2* d) {
    d->EditField1->SetText(longText);
    EXPECT_EQ(d->StaticText1->Text(), "chr : 40000");
  });
  EXPECT_TRUE(w_->asciino[0] == longText) << w_->asciino[0].size();
  EXPECT_EQ(w_->EditXY[2]->Text(), "40000");

  // An empty text stores 0 steps; the next opening shows the placeholder again.
  Compose([&](Window2* d) { d->EditField1->SetText(""); });
  EXPECT_EQ(w_->asciino[0], "");
  EXPECT_EQ(w_->EditXY[2]->Text(), "0");
  Compose([&](Window2* d) {
    EXPECT_EQ(d->EditField1->Text(), "write a text here");
    d->EditField1->SetText("Z");
  });
  EXPECT_EQ(w_->EditXY[2]->Text(), "1");
}

// A character outside the Basic Multilingual Plane (two UTF-16 units) is one
// character: counted once, one frame, drawn whole.
TEST_F(TextComposerTest, ACharacterOutsideTheBasicPlaneIsOneCharacterAndOneFrame) {
  OpenWindow();
  const QString text = QString::fromUtf8("\xc3\xa9\xf0\x9d\x90\x80Z");  // é, U+1D400 bold A, Z
  Compose(
      [&](Window2* d) {
        d->EditField1->setFocus();
        d->EditField1->selectAll();
        QTest::keyClick(d->EditField1, Qt::Key_Backspace);
        // Typed as a keyboard delivers them: one key event per character.
        for (const char32_t c : text.toUcs4()) {
          QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUcs4(&c, 1));
          QApplication::sendEvent(d->EditField1, &press);
        }
        EXPECT_EQ(d->EditField1->Text(), text);
        EXPECT_EQ(d->StaticText1->Text(), "chr : 3");
      },
      [&] { w_->scelta_oggetto(4); });
  EXPECT_EQ(w_->asciino[0], text);
  ASSERT_EQ(w_->EditXY[2]->Text(), "3");
  const std::vector<QImage> frames = DecodeAllFrames(w_->f->AbsolutePath());
  ASSERT_EQ(frames.size(), 3u);

  // Frame 2 is the same as for any text with that character second, and not
  // the same as for U+1D401, whose first UTF-16 unit is the same.
  auto secondFrame = [&](const char* utf8) {
    w_->asciino[0] = QString::fromUtf8(utf8);
    w_->crea_preview(0);
    const std::vector<QImage> again = DecodeAllFrames(w_->f->AbsolutePath());
    return again.size() == 3u ? again[1] : QImage();
  };
  EXPECT_EQ(secondFrame("Q\xf0\x9d\x90\x80q"), frames[1]);
  EXPECT_NE(secondFrame("\xc3\xa9\xf0\x9d\x90\x81Z"), frames[1]);
}

TEST_F(TextComposerTest, FontAndStylesShowOnGridAndFieldAndAreStoredButNotCarriedOver) {
  OpenWindow();
  QString chosen;
  Compose([&](Window2* d) {
    const int other = d->PopupMenu1->currentIndex() == 0 ? 1 : 0;
    ASSERT_GT(d->PopupMenu1->count(), 1);
    chosen = d->PopupMenu1->itemText(other);
    d->PopupMenu1->setCurrentIndex(other);
    for (auto* b : d->RadioB) EXPECT_EQ(b->font().family(), chosen);
    EXPECT_EQ(d->EditField1->font().family(), chosen);
    EXPECT_NE(d->CheckB[0]->font().family(), chosen);  // the boxes keep their own font

    Click(d->CheckB[0]);          // bold by the user
    d->CheckB[1]->SetValue(true);  // italic from code acts the same
    Click(d->CheckB[2]);
    Click(d->CheckB[2]);  // underline on and off again
    for (auto* b : d->RadioB) {
      EXPECT_TRUE(b->font().bold());
      EXPECT_TRUE(b->font().italic());
      EXPECT_FALSE(b->font().underline());
    }
    EXPECT_TRUE(d->EditField1->font().bold());
    EXPECT_TRUE(d->EditField1->font().italic());
    EXPECT_FALSE(d->EditField1->font().underline());
    EXPECT_FALSE(d->StaticText1->font().italic());
    Click(d->RadioB[72]);
  });
  EXPECT_EQ(Slots(), QStringList({"write a text hereH", chosen, "true", "true", "false"}));
  EXPECT_EQ(w_->EditXY[2]->Text(), "18");

  // The next opening shows the stored text but starts from the default font and clear boxes.
  Compose([&](Window2* d) {
    EXPECT_EQ(d->EditField1->Text(), "write a text hereH");
    EXPECT_EQ(d->PopupMenu1->currentText(), DefaultFont());
    for (auto* c : d->CheckB) EXPECT_FALSE(c->Value());
  });
  EXPECT_EQ(Slots(), QStringList({"write a text hereH", DefaultFont(), "false", "false", "false"}));
}

TEST_F(TextComposerTest, ChoosingTheTextObjectOpensItUnlessLoadingAndClosingAlwaysWritesBack) {
  OpenWindow();
  Compose(
      [&](Window2* d) {
        d->EditField1->SetText("");
        QTest::keyClicks(d->EditField1, "Hi!");
        // Closed by the window manager instead of the button: still written back.
        d->close();
      },
      [&] { w_->scelta_oggetto(4); });
  EXPECT_EQ(w_->oggetto, 4);
  EXPECT_EQ(w_->asciino[0], "Hi!");
  EXPECT_EQ(w_->EditXY[2]->Text(), "3");

  // Loading a project: the stored slots are used as they stand, no window opens.
  bool opened = false;
  QObject scope;  // the timer ends with the test, fired or not
  QTimer::singleShot(0, &scope, [&] {
    if (QWidget* m = QApplication::activeModalWidget()) {
      opened = true;
      m->close();
    }
  });
  w_->asciino[0] = "kept";
  w_->auto_ = true;
  w_->scelta_oggetto(4);
  w_->auto_ = false;
  QApplication::processEvents();
  EXPECT_FALSE(opened);
  EXPECT_EQ(w_->asciino[0], "kept");
}

}  // namespace
