// Choosing objects, motions, colours, backgrounds and drawing modes.
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QTest>
#include <QTimer>

#include "framework/system.h"
#include "tests/support/window_fixture.h"

namespace {

class ChoiceTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    OpenWindow();
  }
  // A picture file of the given size, painted red.
  FolderItemPtr PictureFile(const QString& name, int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::red);
    const QString path = Root() + "/" + name;
    img.save(path, "PNG");
    return GetFolderItem(path);
  }
  // Closes the next modal window as soon as it shows. The choice yields to
  // the event loop before it opens its window, so keep looking until it is up.
  static void CloseNextModal() {
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer] {
      if (QWidget* m = QApplication::activeModalWidget()) {
        timer->stop();
        timer->deleteLater();
        m->close();
      }
    });
    timer->start();
  }
};

}  // namespace

TEST_F(ChoiceTest, ObjectKindsSetTheFieldsTheyNeed) {
  for (int k : {0, 1, 2, 3, 5, 6, 7, 8, 9}) {
    if (k == 5 || k == 6) continue;
    w_->scelta_oggetto(k);
    const bool outline = k == 2 || k == 3 || k == 8 || k == 9;
    EXPECT_EQ(w_->EditXY[5]->isEnabled(), outline) << k;
    EXPECT_EQ(w_->StaticT[5]->isEnabled(), outline) << k;
    EXPECT_TRUE(w_->EditXY[0]->isEnabled());
    EXPECT_EQ(w_->oggetto, k);
    EXPECT_EQ(w_->rettopreso->pos(), w_->BevelB[k]->pos() - QPoint(1, 1));
  }
  const int before = w_->contatore;
  CloseNextModal();
  w_->scelta_oggetto(4);
  EXPECT_EQ(w_->oggetto, 4);
  EXPECT_FALSE(w_->EditXY[0]->isEnabled());
  EXPECT_FALSE(w_->StaticT[0]->isEnabled());
  EXPECT_EQ(w_->contatore, before + 1);  // one preview per object choice
  w_->scelta_oggetto(0);
  EXPECT_TRUE(w_->StaticT[0]->isEnabled());
}

TEST_F(ChoiceTest, PictureObjectsLoadTheirFileOrFallBackToTheOval) {
  dialogs_->openAnswers.push_back(PictureFile("big.png", 200, 150));
  w_->scelta_oggetto(5);
  EXPECT_EQ(w_->oggetto, 5);
  EXPECT_EQ(w_->EditXY[0]->Text(), "96");
  EXPECT_EQ(w_->EditXY[1]->Text(), "96");
  EXPECT_EQ(w_->LogEditField->Text(), "Maximum object size is 96 pixels.");
  EXPECT_EQ(w_->asciino[5], Root() + "/big.png");
  EXPECT_EQ(w_->immagine->Transparent, 0);

  dialogs_->openAnswers.push_back(PictureFile("small.png", 40, 30));
  w_->scelta_oggetto(6);
  EXPECT_EQ(w_->EditXY[0]->Text(), "40");
  EXPECT_EQ(w_->EditXY[1]->Text(), "30");
  EXPECT_EQ(w_->immagine->Transparent, 1);
  auto frames = DecodeAllFrames(w_->f->AbsolutePath());
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames[0].pixel(5, 5) & 0xFFFFFF, 0xFF0000u);

  // Cancelled, or not a picture: the filled oval, with a blank picture.
  w_->scelta_oggetto(5);
  EXPECT_EQ(w_->oggetto, 0);
  EXPECT_TRUE(w_->asciino[5].isEmpty());
  EXPECT_EQ(w_->immagine->Width(), 64);
  EXPECT_EQ(w_->rettopreso->pos(), w_->BevelB[0]->pos() - QPoint(1, 1));
  QFile text(Root() + "/notes.txt");
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("hello");
  text.close();
  dialogs_->openAnswers.push_back(GetFolderItem(Root() + "/notes.txt"));
  w_->scelta_oggetto(6);
  EXPECT_EQ(w_->oggetto, 0);
}

TEST_F(ChoiceTest, MotionChoicesSetFieldsAndMakeTwoPreviews) {
  const int before = w_->contatore;
  w_->scelta_movimento(4);
  EXPECT_EQ(w_->contatore, before + 2);
  EXPECT_EQ(w_->movimento, 4);
  EXPECT_TRUE(w_->EditXY[6]->isEnabled());
  EXPECT_TRUE(w_->StaticT[7]->isEnabled());
  EXPECT_EQ(w_->rettopreso1->pos(), w_->BevelAnimation[4]->pos() - QPoint(1, 1));

  // The angle limit is judged by the motion in force before the choice.
  SetField(7, "720");
  w_->scelta_movimento(2);
  EXPECT_EQ(w_->EditXY[7]->Text(), "720");
  w_->scelta_movimento(2);
  EXPECT_EQ(w_->EditXY[7]->Text(), "360");
  EXPECT_EQ(w_->LogEditField->Text(), "Maximum animation angle is 360 degrees.");

  w_->scelta_movimento(1);
  EXPECT_FALSE(w_->EditXY[6]->isEnabled());
  EXPECT_FALSE(w_->StaticT[6]->isEnabled());
}

TEST_F(ChoiceTest, RandomMotionTradesCopyClearForCopyWithoutAnExtraPreview) {
  w_->RadioBu[2]->SetValue(true);
  const int before = w_->contatore;
  w_->scelta_movimento(9);
  EXPECT_EQ(w_->contatore, before + 2);
  EXPECT_TRUE(w_->RadioBu[1]->Value());
  EXPECT_FALSE(w_->RadioBu[2]->isEnabled());
  EXPECT_FALSE(w_->auto_);
  w_->scelta_movimento(3);
  EXPECT_TRUE(w_->RadioBu[2]->isEnabled());
  EXPECT_TRUE(w_->RadioBu[1]->Value());
}

TEST_F(ChoiceTest, PathEditorLeftWithoutAPathFallsBackToLinear) {
  w_->scelta_movimento(2);
  CloseNextModal();
  w_->scelta_movimento(8);
  EXPECT_EQ(w_->movimento, 0);
  EXPECT_TRUE(w_->EditXY[3]->isEnabled());
  EXPECT_FALSE(w_->EditXY[6]->isEnabled());
  EXPECT_EQ(w_->rettopreso1->pos(), w_->BevelAnimation[0]->pos() - QPoint(1, 1));
}

TEST_F(ChoiceTest, ColourSwatchesOpenOnBlackAndRender) {
  const int before = w_->contatore;
  w_->Rectcolore_MouseDown(1, 0, 0);  // cancelled
  EXPECT_EQ(w_->contatore, before);
  EXPECT_EQ(w_->Rectcolore[1]->FillColor(), 0x66CCFFu);
  dialogs_->colorAnswers.push_back(Color(0x000000));
  w_->Rectcolore_MouseDown(1, 0, 0);
  EXPECT_EQ(dialogs_->log.last(), "color Select a color");
  EXPECT_EQ(w_->Rectcolore[1]->FillColor(), 0x000000u);
  EXPECT_EQ(w_->contatore, before + 1);
  EXPECT_EQ(DecodeAllFrames(w_->f->AbsolutePath()).at(0).pixel(300, 10) & 0xFFFFFF, 0u);
}

TEST_F(ChoiceTest, BackgroundPictureSetsAndLocksTheMovieSize) {
  dialogs_->openAnswers.push_back(PictureFile("bg.png", 640, 480));
  w_->tStatic2_MouseDown(-1, 0, 0);
  EXPECT_EQ(w_->EditXY[3]->Text(), "640");
  EXPECT_EQ(w_->EditXY[4]->Text(), "480");
  EXPECT_FALSE(w_->EditXY[3]->isEnabled());
  EXPECT_EQ(w_->asciino[6], Root() + "/bg.png");
  auto frames = DecodeAllFrames(w_->f->AbsolutePath());
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames[0].size(), QSize(640, 480));
  EXPECT_EQ(frames[0].pixel(600, 400) & 0xFFFFFF, 0xFF0000u);

  // Any motion but the path unlocks the size.
  w_->scelta_movimento(1);
  EXPECT_TRUE(w_->EditXY[3]->isEnabled());

  dialogs_->openAnswers.push_back(PictureFile("wide.png", 3000, 1000));
  w_->tStatic2_MouseDown(-1, 0, 0);
  EXPECT_EQ(w_->EditXY[3]->Text(), "2048");
  EXPECT_EQ(w_->EditXY[4]->Text(), "1000");
  EXPECT_EQ(w_->LogEditField->Text(), "Movie maximum allowed width is 2048.");

  // Command-click removes it; the size stays and is editable again.
  QTest::mouseClick(w_->tStatic2, Qt::LeftButton, Qt::ControlModifier);
  EXPECT_FALSE(w_->sfondo);
  EXPECT_TRUE(w_->asciino[6].isEmpty());
  EXPECT_EQ(w_->EditXY[3]->Text(), "2048");
  EXPECT_TRUE(w_->EditXY[3]->isEnabled());

  // A file that is not a picture: no background, its path kept.
  QFile text(Root() + "/notes.txt");
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("not a picture");
  text.close();
  dialogs_->openAnswers.push_back(GetFolderItem(Root() + "/notes.txt"));
  w_->tStatic2_MouseDown(-1, 0, 0);
  EXPECT_FALSE(w_->sfondo);
  EXPECT_EQ(w_->asciino[6], Root() + "/notes.txt");
  EXPECT_TRUE(w_->EditXY[4]->isEnabled());
}

TEST_F(ChoiceTest, HoverFramesFollowThePointerAndModesRender) {
  w_->BevelB_MouseEnter(7);
  EXPECT_EQ(w_->rettoboldo->pos(), w_->BevelB[7]->pos() - QPoint(1, 1));
  w_->BevelB_MouseExit(7);
  EXPECT_EQ(w_->rettoboldo->x(), -40);
  w_->BevelAnimation_MouseEnter(5);
  EXPECT_EQ(w_->rettoboldo1->pos(), w_->BevelAnimation[5]->pos() - QPoint(1, 1));
  EXPECT_EQ(w_->rettopreso1->pos(), w_->BevelAnimation[0]->pos() - QPoint(1, 1));

  const int before = w_->contatore;
  w_->RadioBu[1]->click();
  EXPECT_EQ(w_->contatore, before + 1);
  w_->auto_ = true;
  w_->RadioBu[2]->SetValue(true);
  w_->auto_ = false;
  EXPECT_EQ(w_->contatore, before + 1);

  w_->tStatic2_MouseEnter(-1);
  EXPECT_TRUE(w_->tStatic2->Underline());
  EXPECT_TRUE(w_->tStatic2->Bold());
  w_->tStatic2_MouseExit(-1);
  EXPECT_FALSE(w_->tStatic2->Bold());
}
