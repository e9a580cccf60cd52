// The number fields: digits at the end, limits with their messages, the
// focus highlight and Return.
#include <QApplication>
#include <QTest>

#include "framework/system.h"
#include "tests/support/window_fixture.h"

namespace {

class NumberFieldTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    OpenWindow();
    w_->show();
  }
  QString Text(int k) const { return w_->EditXY[k]->Text(); }
  QString LogText() const { return w_->LogEditField->Text(); }
  // Types text at the end of field k, as a person would.
  void TypeAtEnd(int k, const QString& keys) {
    EditField* e = w_->EditXY[k];
    e->setCursorPosition(e->text().size());
    QTest::keyClicks(e, keys);
  }
};

}  // namespace

TEST_F(NumberFieldTest, ALetterGoesAtTheEndButStaysInTheMiddle) {
  TypeAtEnd(0, "x");
  EXPECT_EQ(Text(0), "18");
  EXPECT_EQ(w_->EditXY[0]->SelStart(), 2);
  w_->EditXY[0]->setCursorPosition(1);
  QTest::keyClicks(w_->EditXY[0], "x");
  EXPECT_EQ(Text(0), "1x8");  // only the last character is looked at; it reads as 1
  // Pasted "12ab" loses both letters, one nested run after the other.
  SetField(2, "12ab");
  EXPECT_EQ(Text(2), "12");
  SetField(2, "ab");
  EXPECT_EQ(Text(2), "");
  // A whole field's worth of pasted letters goes the same way, without
  // nesting one run per letter and in one pass over the text.
  SetField(2, "7" + QString(w_->EditXY[2]->maxLength() - 1, QChar('z')));
  EXPECT_EQ(Text(2), "7");
  EXPECT_EQ(w_->EditXY[2]->SelStart(), 1);
  // A character beyond the Basic Multilingual Plane is one character, at the
  // end and before it.
  const QString boldA = QString::fromUtf8("\xf0\x9d\x90\x80");  // U+1D400, two UTF-16 units
  SetField(2, boldA + "4" + boldA);
  EXPECT_EQ(Text(2), boldA + "4");
  EXPECT_EQ(w_->EditXY[2]->SelStart(), 2);
}

TEST_F(NumberFieldTest, LimitsResetTheFieldWithTheirMessageAndOneBeep) {
  struct Case {
    int field;
    const char* typed;
    const char* result;
    const char* message;
  } cases[] = {
      {0, "100", "96", "Maximum object size is 96 pixels."},
      {1, "97", "96", "Maximum object size is 96 pixels."},
      {0, "", "1", "Minimum allowed value is 1."},
      {1, "0", "1", "Minimum allowed value is 1."},
      {3, "", "1", "Minimum allowed value is 1."},
      {4, "0", "1", "Minimum allowed value is 1."},
      {5, "10", "9", "Maximum border width is 9 pixels."},
      {5, "", "1", "Minimum allowed value is 1."},
      {6, "360", "359", "Maximum allowed start angle is 359 degrees."},
      {6, "-5", "0", "Minimum allowed start angle is 0 degrees."},
      {7, "", "1", "Minimum animatrion angle is 1 degrees."},
      {3, "3000", "2048", "Movie maximum allowed width is 2048."},
      {4, "3000", "2048", "Movie maximum allowed height is 2048."},
  };
  for (const Case& c : cases) {
    w_->Log("");
    const int beeps = BeepCount();
    SetField(c.field, c.typed);
    EXPECT_EQ(Text(c.field), c.result) << c.field << " " << c.typed;
    EXPECT_EQ(LogText(), c.message) << c.field << " " << c.typed;
    EXPECT_EQ(BeepCount() - beeps, 1) << c.field << " " << c.typed;
  }
  // The limits themselves pass, and so does an empty steps or start angle.
  for (auto [k, text] : {std::pair{0, "96"}, {5, "9"}, {6, "359"}, {6, "0"}, {3, "2048"}, {7, "1"}, {2, ""}, {6, ""}}) {
    w_->Log("");
    const int beeps = BeepCount();
    SetField(k, text);
    EXPECT_EQ(Text(k), text);
    EXPECT_EQ(BeepCount() - beeps, 0) << k << " " << text;
  }
  // A pasted fraction counts as a Double for the field's own limit.
  SetField(0, "96.5");
  EXPECT_EQ(Text(0), "96");
}

TEST_F(NumberFieldTest, DeletingTheLastDigitSetsTheMinimumAtOnce) {
  w_->EditXY[0]->setFocus();
  w_->EditXY[0]->setCursorPosition(2);
  QTest::keyClick(w_->EditXY[0], Qt::Key_Backspace);
  QTest::keyClick(w_->EditXY[0], Qt::Key_Backspace);
  EXPECT_EQ(Text(0), "1");
  EXPECT_EQ(LogText(), "Minimum allowed value is 1.");
}

TEST_F(NumberFieldTest, AnimationAngleLimitDependsOnTheMotion) {
  w_->movimento = 4;
  SetField(7, "720");
  EXPECT_EQ(Text(7), "720");
  w_->movimento = 2;
  SetField(7, "720");
  EXPECT_EQ(Text(7), "360");
  EXPECT_EQ(LogText(), "Maximum animation angle is 360 degrees.");
  w_->movimento = 3;
  SetField(7, "361");
  EXPECT_EQ(Text(7), "360");
}

TEST_F(NumberFieldTest, MovieSizeIsCheckedAfterEveryChangeOfAnyField) {
  // A size written without its own run (as a loaded value could be) is caught
  // by the next change of any field, as a whole number.
  {
    const QSignalBlocker block(w_->EditXY[3]);
    w_->EditXY[3]->setText("2048.9");
  }
  SetField(2, "20");
  EXPECT_EQ(Text(3), "2048.9");  // 2048 as a whole number: within the limit
  {
    const QSignalBlocker block(w_->EditXY[4]);
    w_->EditXY[4]->setText("5000");
  }
  SetField(2, "21");
  EXPECT_EQ(Text(4), "2048");
  EXPECT_EQ(LogText(), "Movie maximum allowed height is 2048.");
}

TEST_F(NumberFieldTest, TheTextObjectStaysSquare) {
  w_->EditXY[0]->setEnabled(false);
  SetField(1, "30");
  EXPECT_EQ(Text(0), "30");
  SetField(1, "200");
  EXPECT_EQ(Text(1), "96");
  EXPECT_EQ(Text(0), "96");
  w_->EditXY[0]->setEnabled(true);
  SetField(1, "40");
  EXPECT_EQ(Text(0), "96");
}

TEST_F(NumberFieldTest, ReturnRendersOnePreviewAndStillReachesTheField) {
  const int before = w_->contatore;
  int returns = 0;
  QObject::connect(w_->EditXY[2], &QLineEdit::returnPressed, [&] { ++returns; });
  TypeAtEnd(2, "5");
  EXPECT_EQ(w_->contatore, before);  // typing alone renders nothing
  QTest::keyClick(w_->EditXY[2], Qt::Key_Return);
  EXPECT_EQ(w_->contatore, before + 1);
  EXPECT_EQ(returns, 1);
  EXPECT_EQ(DecodeAllFrames(w_->f->AbsolutePath()).size(), 185u);
}

TEST_F(NumberFieldTest, FocusMarksTheFieldAndItsLabel) {
  w_->activateWindow();
  w_->EditXY[0]->setFocus();
  QApplication::processEvents();
  if (QApplication::focusWidget() != w_->EditXY[0]) {
    // Without a focusing platform the handlers are driven directly.
    w_->EditXY_GotFocus(0);
  }
  EXPECT_EQ(w_->StaticT[0]->TextColor(), 0x7F0000u);
  EXPECT_TRUE(w_->StaticT[0]->Bold());
  EXPECT_EQ(w_->EditXY[0]->TextColor(), 0x7F0000u);
  EXPECT_TRUE(w_->EditXY[0]->Bold());
  if (QApplication::focusWidget() == w_->EditXY[0]) {
    w_->EditXY[1]->setFocus();
    QApplication::processEvents();
  } else {
    w_->EditXY_LostFocus(0);
    w_->EditXY_GotFocus(1);
  }
  EXPECT_EQ(w_->StaticT[0]->TextColor(), 0x000000u);
  EXPECT_FALSE(w_->StaticT[0]->Bold());
  EXPECT_FALSE(w_->EditXY[0]->Bold());
  EXPECT_TRUE(w_->StaticT[1]->Bold());
  EXPECT_EQ(w_->EditXY[1]->TextColor(), 0x7F0000u);
}

TEST_F(NumberFieldTest, TheLogBeepsAtEveryChange) {
  const int beeps = BeepCount();
  w_->Log("one");
  w_->Log("two");
  EXPECT_EQ(BeepCount() - beeps, 2);
  EXPECT_EQ(LogText(), "two");
}
