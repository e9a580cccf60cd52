// The animation as a document: the project file from the File menu (its
// layout, a full round trip, files that are cut short, not projects at all,
// or hold absurd values), and the history of changes that Edit > "Undo" and
// "Redo" walk, checked by the controls and the previews they show.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <cerrno>
#include <cmath>
#include <cstring>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "app/application.h"
#include "app/menubar.h"
#include "app/recent_projects.h"
#include "path_editor/fin_path.h"
#include "text_composer/window2.h"
#include "framework/text.h"
#include "tests/support/window_fixture.h"

namespace {

class DocumentTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    app_ = StartUp();  // binds the File menu to the application object
    w_ = Window1::InstanceIfOpen();
    ASSERT_TRUE(w_);
  }

  QString Save(const QString& name) {
    const QString path = Root() + "/" + name;
    dialogs_->saveAnswers.push_back(GetFolderItem(path));
    MenuBar1::Instance()->Choose("FileSaveas");
    return path;
  }
  // Opens the project, dropping what the window held.
  void Load(const QString& path) {
    dialogs_->openAnswers.push_back(GetFolderItem(path));
    dialogs_->saveChangesAnswers = {SaveChanges::DontSave};
    MenuBar1::Instance()->Choose("FileOpen");
    dialogs_->saveChangesAnswers.clear();
  }
  // Fails the test (rather than hanging) if a modal window opens meanwhile.
  void FailOnModal() {
    QTimer::singleShot(0, &timers_, [] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        ADD_FAILURE() << "a modal window opened during the load";
        modal->close();
      }
    });
  }
  QString WriteFile(const QString& name, const QByteArray& bytes) {
    const QString path = Root() + "/" + name;
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
  }
  static QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  static QStringList Lines(const QString& path) {
    QString text = QString::fromUtf8(Read(path));
    EXPECT_TRUE(text.endsWith('\n'));
    text.chop(1);
    return text.split('\n');
  }
  QString MakePicture(const QString& name, int width, int height, QRgb colour) {
    QImage img(width, height, QImage::Format_RGB32);
    img.fill(colour);
    const QString path = Root() + "/" + name;
    EXPECT_TRUE(img.save(path, "PNG"));
    return path;
  }
  QString LogText() const { return w_->LogEditField->Text(); }

  // The Undo and Redo items as the menu shows them ("&Undo Colour"), empty
  // when off.
  QString Item(const char* name) const {
    QAction* a = w_->menuBar()->findChild<QAction*>(name);
    return a && a->isEnabled() ? a->text() : QString();
  }
  void Undo() { MenuBar1::Instance()->Choose("EditUndo"); }
  void Redo() { MenuBar1::Instance()->Choose("EditRedo"); }
  // The preview that plays: its size and the colour of its first frame's
  // top-left pixel, decoded.
  QString Preview() const {
    const std::vector<QImage> frames = DecodeAllFrames(w_->f->AbsolutePath());
    if (frames.empty()) return "none";
    return QString("%1x%2 %3").arg(frames[0].width()).arg(frames[0].height()).arg(
        frames[0].pixel(0, 0) & 0xFFFFFF, 6, 16, QChar('0'));
  }
  // Runs script on the modal window that opens next, once it is open.
  template <typename Modal>
  void OnModal(std::function<void(Modal*)> script) {
    QTimer::singleShot(1, &timers_, [this, script] {
      if (auto* modal = qobject_cast<Modal*>(QApplication::activeModalWidget()))
        script(modal);
      else
        OnModal<Modal>(script);
    });
  }
  QObject timers_;  // the test's timers end with it
};

const QString kLabel = "colori componenti rgb di oggetto e sfondo ";

}  // namespace

TEST_F(DocumentTest, SavingRightAfterStartUpWritesTheFixedLayout) {
  const QString path = Save("movie_data.txt");
  EXPECT_EQ(dialogs_->log, QStringList{"save text movie_data.txt"});
  const QStringList expected = {
      "0", "", "", "", "", "", "", "",
      "0" + kLabel + "RED", "0" + kLabel + "GREEN", "128" + kLabel + "BLUE",
      "102" + kLabel + "RED", "204" + kLabel + "GREEN", "255" + kLabel + "BLUE",
      "18", "18", "18", "400", "200", "3", "0", "360",
      "0", "0", "0", "0", "0", "0", "0"};
  EXPECT_EQ(Lines(path), expected);
  EXPECT_TRUE(dialogs_->messages.isEmpty());
}

TEST_F(DocumentTest, EverySettingSurvivesASaveAndALoad) {
  // The object: a picture file, drawn with white transparent.
  const QString objectPath = MakePicture("object.png", 40, 30, 0xFF336699);
  dialogs_->openAnswers.push_back(GetFolderItem(objectPath));
  w_->scelta_oggetto(6);
  ASSERT_EQ(w_->oggetto, 6);
  // A background picture, chosen through the background label.
  const QString backgroundPath = MakePicture("back.png", 300, 150, 0xFF00FF00);
  dialogs_->openAnswers.push_back(GetFolderItem(backgroundPath));
  w_->tStatic2_MouseDown(-1, 1, 1);
  ASSERT_TRUE(w_->sfondo);
  w_->asciino[0] = "Ciao, mondo";
  w_->asciino[1] = "Liberation Serif";
  w_->asciino[2] = "true";
  w_->asciino[3] = "false";
  w_->asciino[4] = "true";
  w_->Rectcolore[0]->SetFillColor(0xFFFFFF);
  w_->Rectcolore[1]->SetFillColor(0x0A1B2C);
  SetField(2, "24");
  SetField(5, "7");
  SetField(6, "45");
  // A finished path of three points, its length not a whole number.
  PathTable& t = w_->percorso;
  t.Redim(5, 1);
  const double pts[5][2] = {{0, 0}, {30, 40}, {31, 41}, {31, 41}, {51.414213562373096, 0}};
  t.Set(0, 0, 3);
  for (int i = 0; i < 5; ++i) {
    t.Set(i + 1, 0, pts[i][0]);
    t.Set(i + 1, 1, pts[i][1]);
  }
  w_->movimento = 8;
  w_->RadioBu[1]->SetValue(true);

  const QString first = Save("project.txt");
  const QStringList lines = Lines(first);
  ASSERT_EQ(lines.size(), 29 + 2 * 3);
  EXPECT_EQ(lines[7], backgroundPath);
  EXPECT_EQ(lines[8], "255" + kLabel + "RED");
  EXPECT_EQ(Val(lines[33]), 51.414213562373096);  // the length, not a whole number

  // A fresh window, then the load.
  delete w_;
  w_ = Window1::Instance();
  FailOnModal();
  Load(first);
  EXPECT_FALSE(w_->auto_);
  EXPECT_EQ(w_->oggetto, 6);
  ASSERT_TRUE(w_->immagine);
  EXPECT_EQ(w_->immagine->Width(), 40);
  EXPECT_EQ(w_->immagine->Transparent, 1);
  ASSERT_TRUE(w_->sfondo);
  EXPECT_EQ(w_->sfondo->Height(), 150);
  EXPECT_EQ(w_->asciino[5], objectPath);
  EXPECT_EQ(w_->asciino[1], "Liberation Serif");
  EXPECT_EQ(w_->Rectcolore[0]->FillColor(), 0xFFFFFFu);
  EXPECT_EQ(w_->Rectcolore[1]->FillColor(), 0x0A1B2Cu);
  EXPECT_EQ(w_->movimento, 8);
  EXPECT_TRUE(w_->RadioBu[1]->Value());
  EXPECT_FALSE(w_->EditXY[3]->isEnabled());  // the drawn path locks the movie size
  EXPECT_EQ(w_->percorso.RowUpper(), 5);
  EXPECT_EQ(w_->percorso.Get(5, 0), 51.414213562373096);
  EXPECT_EQ(w_->EditXY[3]->Text(), "300");
  // Saving again gives the same file, byte for byte.
  EXPECT_EQ(Read(Save("again.txt")), Read(first));

  // With the background picture gone: none is loaded, the path is kept and
  // saved again, the size fields keep their loaded texts.
  QFile::remove(backgroundPath);
  Load(first);
  EXPECT_FALSE(w_->sfondo);
  EXPECT_EQ(w_->asciino[6], backgroundPath);
  EXPECT_EQ(w_->EditXY[4]->Text(), "150");
}

TEST_F(DocumentTest, ATextObjectWithLineBreaksKeepsTheLayoutAndLoadsWithoutTheComposer) {
  w_->asciino[0] = QString("ab") + QChar(10) + "c" + QChar(13);
  w_->oggetto = 4;
  const QString path = Save("text.txt");
  const QStringList lines = Lines(path);
  ASSERT_EQ(lines.size(), 29);
  EXPECT_EQ(lines[1], "ab c ");
  FailOnModal();
  Load(path);
  EXPECT_EQ(w_->oggetto, 4);
  EXPECT_EQ(w_->asciino[0], "ab c ");
  EXPECT_FALSE(w_->EditXY[0]->isEnabled());
}

TEST_F(DocumentTest, AFileCutShortLoadsWithEmptyValues) {
  const QString path = WriteFile("short.txt", "3\n");
  Load(path);
  EXPECT_FALSE(w_->auto_);
  EXPECT_EQ(w_->oggetto, 3);
  EXPECT_EQ(w_->asciino[0], "");
  EXPECT_EQ(w_->Rectcolore[0]->FillColor(), 0u);
  EXPECT_EQ(w_->Rectcolore[1]->FillColor(), 0u);
  EXPECT_EQ(w_->EditXY[3]->Text(), "1");  // empty, then the lower limit
  EXPECT_EQ(w_->movimento, 0);
  EXPECT_TRUE(w_->RadioBu[0]->Value());
  EXPECT_EQ(w_->percorso.Get(0, 0), 0);
  EXPECT_TRUE(LogText().contains("ends early")) << LogText().toStdString();
}

// A project that went through an editor with classic Mac line ends, or one
// that put a byte-order mark in front, loads as the unedited file does.
// Numbers are read as Val reads them, blanks in front included; a path table
// cut short keeps its point count, the rows it lacks reading as 0.
TEST_F(DocumentTest, BlanksBeforeNumbersAndAShortPathTableAreRead) {
  QStringList lines = {" 1", "", "", "", "", "", "", "",
                       "\t10" + kLabel + "RED", " 20" + kLabel + "GREEN", "30" + kLabel + "BLUE",
                       "40" + kLabel + "RED", "50" + kLabel + "GREEN", "60" + kLabel + "BLUE",
                       "18", "18", "18", "400", "200", "3", "0", "360",
                       " 8", " 2", " 5", "10", "20", "30", "40"};
  Load(WriteFile("blanks.txt", (lines.join('\n') + '\n').toUtf8()));
  EXPECT_FALSE(LogText().contains("not a Velostrip project")) << LogText().toStdString();
  EXPECT_EQ(w_->oggetto, 1);
  EXPECT_EQ(w_->Rectcolore[0]->FillColor(), RGB(10, 20, 30));
  EXPECT_TRUE(w_->RadioBu[2]->Value());
  EXPECT_EQ(w_->movimento, 8);
  ASSERT_EQ(w_->percorso.RowUpper(), 7);
  EXPECT_EQ(w_->percorso.Get(0, 0), 5);
  EXPECT_EQ(w_->percorso.Get(1, 0), 10);
  EXPECT_EQ(w_->percorso.Get(2, 1), 40);
  for (int row = 3; row <= 7; ++row) EXPECT_EQ(w_->percorso.Get(row, 0) + w_->percorso.Get(row, 1), 0) << row;
  EXPECT_TRUE(LogText().contains("ends early")) << LogText().toStdString();
  // Saved again, the file has all its rows.
  EXPECT_EQ(Lines(Save("full.txt")).size(), 29 + 2 * 5);
}

TEST_F(DocumentTest, CarriageReturnLineEndsAndAByteOrderMarkAreRead) {
  SetField(2, "25");
  w_->Rectcolore[0]->SetFillColor(RGB(1, 2, 3));
  w_->scelta_oggetto(3);
  const QByteArray original = Read(Save("original.txt"));
  QByteArray mac = original;
  mac.replace('\n', '\r');
  const QByteArray bom = "\xEF\xBB\xBF" + original;
  for (const QByteArray& variant : {mac, bom}) {
    SetField(2, "40");
    w_->Rectcolore[0]->SetFillColor(RGB(9, 9, 9));
    w_->scelta_oggetto(0);
    Load(WriteFile("variant.txt", variant));
    EXPECT_EQ(Read(Save("again.txt")), original);
  }
}

TEST_F(DocumentTest, FilesThatAreNoProjectChangeNothing) {
  const QString before = Save("before.txt");
  QByteArray junk;
  for (int i = 0; i < 4096; ++i) junk.append(char((i * 7919 + 13) % 256));
  QByteArray notes = "2024 notes\n";
  for (int i = 0; i < 20; ++i) notes += "some words\n";
  for (const QString& path : {WriteFile("junk.bin", junk), WriteFile("notes.txt", notes),
                              WriteFile("empty.txt", ""), WriteFile("hello.txt", "hello\nworld\n")}) {
    Load(path);
    EXPECT_TRUE(LogText().contains("not a Velostrip project")) << path.toStdString();
    EXPECT_FALSE(w_->auto_);
    EXPECT_EQ(Read(Save("after.txt")), Read(before)) << path.toStdString();
  }
  // A folder chosen as the file, or a file that is gone (a project named on
  // the command line): the log says why, nothing else changes.
  QDir(Root()).mkdir("folder");
  Load(Root() + "/folder");
  EXPECT_EQ(LogText(), "\"folder\" could not be opened (it is a folder); nothing was loaded.");
  Load(Root() + "/gone.txt");
  EXPECT_EQ(LogText(), "\"gone.txt\" could not be opened (no such file); nothing was loaded.");
  EXPECT_TRUE(dialogs_->messages.empty());
  EXPECT_EQ(Read(Save("after.txt")), Read(before));
}

TEST_F(DocumentTest, AbsurdValuesAreBroughtIntoRange) {
  QStringList lines = {"77", "t", "f", "x", "y", "z", "", "",
                       "300" + kLabel + "RED", "-5", "128", "1e40", "12", "255",
                       "18", "18", "18", "400", "200", "3", "0", "360",
                       "8", "7", "1e12", "10", "20", "1e999", "40"};
  // A point count too large to hold: the file is refused as it stands.
  const QString before = Save("before.txt");
  Load(WriteFile("absurd.txt", (lines.join('\n') + '\n').toUtf8()));
  EXPECT_TRUE(LogText().contains("far too large")) << LogText().toStdString();
  EXPECT_FALSE(w_->auto_);
  EXPECT_EQ(Read(Save("after.txt")), Read(before));

  lines[24] = "2";
  Load(WriteFile("absurd.txt", (lines.join('\n') + '\n').toUtf8()));
  EXPECT_FALSE(w_->auto_);
  EXPECT_EQ(w_->oggetto, 0);
  EXPECT_EQ(w_->Rectcolore[0]->FillColor(), RGB(255, 0, 128));
  EXPECT_EQ(w_->Rectcolore[1]->FillColor(), RGB(255, 12, 255));
  EXPECT_TRUE(w_->RadioBu[0]->Value());
  // A drawn path of fewer than three points falls back to the first motion.
  EXPECT_EQ(w_->percorso.Get(0, 0), 2);
  EXPECT_EQ(w_->movimento, 0);
  EXPECT_TRUE(w_->EditXY[3]->isEnabled());
  EXPECT_FALSE(LogText().isEmpty());

  // Negative and fractional counts, an infinite coordinate.
  for (const auto& [count, kept] : {std::pair{"-3", 0}, {"-1e999", 0}, {"2.5", 2}}) {
    lines[22] = "1";
    lines[24] = count;
    Load(WriteFile("count.txt", (lines.join('\n') + '\n').toUtf8()));
    EXPECT_EQ(w_->percorso.Get(0, 0), kept) << count;
    EXPECT_TRUE(std::isfinite(w_->percorso.Get(2, 0))) << count;
    EXPECT_EQ(w_->movimento, 1);
  }
}

TEST_F(DocumentTest, CancelledDialogsChangeNothing) {
  SetField(2, "20");
  w_->LogEditField->SetText("");
  MenuBar1::Instance()->Choose("FileOpen");  // the question before it, cancelled
  dialogs_->saveChangesAnswers.push_back(SaveChanges::Save);
  MenuBar1::Instance()->Choose("FileOpen");  // "Save", whose Save as.. is cancelled: no Open either
  dialogs_->saveChangesAnswers.push_back(SaveChanges::DontSave);
  MenuBar1::Instance()->Choose("FileOpen");
  MenuBar1::Instance()->Choose("FileSaveas");
  const QString question = "question Save changes to the animation?";
  EXPECT_EQ(dialogs_->log, (QStringList{question, question, "save text movie_data.txt", question, "open text",
                                        "save text movie_data.txt"}));
  EXPECT_TRUE(dialogs_->messages.isEmpty());
  EXPECT_EQ(w_->EditXY[2]->Text(), "20");
  EXPECT_EQ(LogText(), "");
  EXPECT_EQ(QDir(Root()).entryList(QDir::Files).size(), 0);
}

TEST_F(DocumentTest, AFailedSaveSaysSoAndKeepsWhatWasThere) {
  const QString plain = WriteFile("plain", "keep me");
  Save("plain/movie_data.txt");  // its folder is a file
  ASSERT_EQ(dialogs_->messages.size(), 1);
  EXPECT_TRUE(dialogs_->messages[0].contains("could not be saved"));
  EXPECT_EQ(Read(plain), "keep me");

  QDir(Root()).mkpath("taken/inside");
  Save("taken");  // a folder of that name
  EXPECT_EQ(dialogs_->messages.size(), 2);
  EXPECT_TRUE(QFileInfo(Root() + "/taken/inside").isDir());

  // Saving over an existing project replaces it whole; no temporary file stays.
  WriteFile("old.txt", QByteArray(10000, 'x'));
  Save("old.txt");
  EXPECT_EQ(Lines(Root() + "/old.txt").size(), 29);
  EXPECT_EQ(QDir(Root()).entryList(QDir::Files), (QStringList{"old.txt", "plain"}));

  // A disk that takes only part of the file (here the process's file size
  // limit): the system's reason, and the project that was there stays.
  WithFileSizeLimit(100, [&] { Save("plain"); });
  ASSERT_EQ(dialogs_->messages.size(), 3);
  EXPECT_TRUE(dialogs_->messages[2].contains(QString::fromLocal8Bit(std::strerror(EFBIG))))
      << dialogs_->messages[2].toStdString();
  EXPECT_EQ(Read(plain), "keep me");
}

TEST_F(DocumentTest, UndoAndRedoWalkEveryKindOfChangeWithItsPreviews) {
  EXPECT_EQ(Item("EditUndo"), "");
  EXPECT_EQ(Item("EditRedo"), "");
  const QString opening = Preview();
  EXPECT_EQ(opening, "400x200 66ccff");

  dialogs_->colorAnswers.push_back(0x112233);
  w_->Rectcolore[1]->MouseDown(1, 0, 0);
  EXPECT_EQ(Item("EditUndo"), "&Undo Colour");
  SetField(kMovieWidth, "300");  // typed, then Return
  QTest::keyClick(w_->EditXY[kMovieWidth], Qt::Key_Return);
  EXPECT_EQ(Item("EditUndo"), "&Undo Width");
  EXPECT_EQ(Preview(), "300x200 112233");
  w_->RadioBu[2]->Click(2);
  EXPECT_EQ(Item("EditUndo"), "&Undo Drawing Mode");
  w_->BevelB[2]->click();
  EXPECT_EQ(Item("EditUndo"), "&Undo Object");
  w_->BevelAnimation[3]->click();
  EXPECT_EQ(Item("EditUndo"), "&Undo Motion");
  dialogs_->openAnswers.push_back(GetFolderItem(MakePicture("back.png", 50, 40, 0xFF00FF00)));
  w_->tStatic2->MouseDown(-1, 1, 1);
  EXPECT_EQ(Item("EditUndo"), "&Undo Background Picture");
  EXPECT_EQ(Preview(), "50x40 00ff00");
  const AnimationState last = w_->CurrentState();

  // Back, one step at a time: each control as it was, each preview rendered
  // as the change rendered it.
  int previews = w_->contatore;
  Undo();
  EXPECT_FALSE(w_->sfondo);
  EXPECT_EQ(w_->EditXY[kMovieWidth]->Text(), "300");
  EXPECT_TRUE(w_->EditXY[kMovieWidth]->isEnabled());
  EXPECT_EQ(Preview(), "300x200 112233");
  EXPECT_EQ(w_->contatore, previews + 1);
  EXPECT_EQ(Item("EditRedo"), "&Redo Background Picture");
  previews = w_->contatore;
  Undo();
  EXPECT_EQ(w_->movimento, 0);
  EXPECT_FALSE(w_->EditXY[kStartAngle]->isEnabled());
  EXPECT_FALSE(w_->StaticT[kStartAngle]->isEnabled());
  EXPECT_EQ(w_->rettopreso1->pos(), w_->BevelAnimation[0]->pos() - QPoint(1, 1));
  EXPECT_EQ(w_->contatore, previews + 2);  // a motion choice renders two
  Undo();
  EXPECT_EQ(w_->oggetto, 0);
  EXPECT_FALSE(w_->EditXY[kBorder]->isEnabled());
  EXPECT_EQ(w_->rettopreso->pos(), w_->BevelB[0]->pos() - QPoint(1, 1));
  Undo();
  EXPECT_TRUE(w_->RadioBu[0]->Value());
  Undo();
  EXPECT_EQ(w_->EditXY[kMovieWidth]->Text(), "400");
  EXPECT_EQ(Preview(), "400x200 112233");
  Undo();
  EXPECT_EQ(w_->Rectcolore[1]->FillColor(), kDefaultBackgroundColor);
  EXPECT_EQ(Preview(), opening);
  EXPECT_EQ(Item("EditUndo"), "");
  previews = w_->contatore;
  Undo();  // nothing left: nothing happens
  EXPECT_EQ(w_->contatore, previews);

  // And forward again to where it was.
  for (int i = 0; i < 6; ++i) Redo();
  EXPECT_TRUE(SameAnimation(w_->CurrentState(), last));
  EXPECT_EQ(Preview(), "50x40 00ff00");
  EXPECT_EQ(Item("EditRedo"), "");
  EXPECT_FALSE(w_->EditXY[kMovieWidth]->isEnabled());

  // A new change clears what could be redone.
  Undo();
  w_->BevelB[1]->click();
  EXPECT_EQ(Item("EditRedo"), "");
  EXPECT_EQ(Item("EditUndo"), "&Undo Object");
}

TEST_F(DocumentTest, APathDrawnATextComposedAndAnObjectPictureAreOneStepEach) {
  OnModal<Window2>([](Window2* composer) {
    composer->EditField1->SetText("Hi!");
    QTest::mouseClick(composer->PushButton1, Qt::LeftButton);
  });
  w_->BevelB[kTextObject]->click();
  EXPECT_EQ(Item("EditUndo"), "&Undo Text");
  EXPECT_EQ(w_->asciino[kTextSlot], "Hi!");
  EXPECT_EQ(w_->EditXY[kSteps]->Text(), "3");

  OnModal<fin_path>([](fin_path* editor) {
    for (const QPoint at : {QPoint(10, 10), QPoint(110, 60), QPoint(210, 10)})
      QTest::mouseClick(editor->Canvas1, Qt::LeftButton, {}, at);
    QTest::mouseClick(editor->PushButton1, Qt::LeftButton);
  });
  w_->BevelAnimation[kAlongPath]->click();
  EXPECT_EQ(Item("EditUndo"), "&Undo Path");
  EXPECT_EQ(w_->percorso.Get(0, 0), 3);
  EXPECT_EQ(w_->EditXY[kMovieWidth]->Text(), "218");
  EXPECT_FALSE(w_->EditXY[kMovieWidth]->isEnabled());

  dialogs_->openAnswers.push_back(GetFolderItem(MakePicture("object.png", 30, 20, 0xFFFF0000)));
  w_->BevelB[kPictureOpaque]->click();
  EXPECT_EQ(Item("EditUndo"), "&Undo Object Picture");
  EXPECT_EQ(w_->EditXY[kObjectWidth]->Text(), "30");

  Undo();
  EXPECT_EQ(w_->oggetto, kTextObject);
  EXPECT_EQ(w_->EditXY[kObjectWidth]->Text(), "18");
  EXPECT_FALSE(w_->EditXY[kObjectWidth]->isEnabled());  // the text's width follows its height
  Undo();
  EXPECT_EQ(w_->movimento, 0);
  EXPECT_EQ(w_->percorso.Get(0, 0), 0);
  EXPECT_EQ(w_->EditXY[kMovieWidth]->Text(), "400");
  EXPECT_TRUE(w_->EditXY[kMovieWidth]->isEnabled());
  EXPECT_EQ(Preview(), "400x200 66ccff");
  Undo();
  EXPECT_EQ(w_->oggetto, 0);
  EXPECT_EQ(w_->asciino[kTextSlot], "");
  EXPECT_EQ(w_->EditXY[kSteps]->Text(), "18");
  Redo();
  Redo();
  EXPECT_EQ(w_->percorso.Get(0, 0), 3);
  EXPECT_EQ(w_->asciino[kTextSlot], "Hi!");
  EXPECT_EQ(Preview(), "218x68 66ccff");
  EXPECT_TRUE(dialogs_->log.filter("open").size() == 1) << "a redo opens no dialog";
}

TEST_F(DocumentTest, OpeningAProjectIsOneStepAndLeavesItSaved) {
  dialogs_->colorAnswers.push_back(0x445566);
  w_->Rectcolore[0]->MouseDown(0, 0, 0);
  EXPECT_TRUE(w_->Document()->Modified());
  const QString path = Save("saved.txt");
  EXPECT_FALSE(w_->Document()->Modified());
  EXPECT_EQ(w_->Document()->Path(), path);
  w_->BevelB[3]->click();
  EXPECT_TRUE(w_->Document()->Modified());
  Undo();  // back to what was saved
  EXPECT_FALSE(w_->Document()->Modified());
  Redo();

  w_->Rectcolore[0]->SetFillColor(0);
  Load(path);
  EXPECT_EQ(Item("EditUndo"), "&Undo Open Project");
  EXPECT_FALSE(w_->Document()->Modified());
  EXPECT_EQ(w_->oggetto, 0);
  const int previews = w_->contatore;
  Undo();
  EXPECT_EQ(w_->oggetto, 3);
  EXPECT_EQ(w_->contatore, previews + 3);  // as the load rendered
  EXPECT_TRUE(w_->Document()->Modified());
}

TEST_F(DocumentTest, CtrlZTakesBackTypingFirstThenTheLastChange) {
  w_->show();
  w_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w_));
  w_->BevelB[1]->click();
  w_->EditXY[kSteps]->setFocus();
  QApplication::processEvents();
  if (QApplication::focusWidget() != w_->EditXY[kSteps]) GTEST_SKIP() << "no keyboard focus on this platform";
  w_->EditXY[kSteps]->end(false);
  QTest::keyClick(w_->EditXY[kSteps], Qt::Key_5);
  EXPECT_EQ(w_->EditXY[kSteps]->Text(), "185");
  EXPECT_TRUE(w_->HoldsTyping());
  QTest::keyClick(w_->EditXY[kSteps], Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(w_->EditXY[kSteps]->Text(), "18");
  EXPECT_EQ(w_->oggetto, 1);
  QTest::keyClick(w_->EditXY[kSteps], Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(w_->oggetto, 0);
  QTest::keyClick(w_->EditXY[kSteps], Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(w_->oggetto, 1);
  QTest::keyClick(w_->EditXY[kSteps], Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(w_->oggetto, 1);  // nothing more to redo
}

TEST(AnimationDocumentTest, KeepsAHundredStepsAndNoChangeThatIsNone) {
  AnimationDocument document;
  int restored = 0;
  QObject::connect(&document, &AnimationDocument::Restored, [&](int previews) { restored += previews; });
  AnimationState state = document.State();
  document.Change("Colour", state, 1);  // ends where it began
  EXPECT_EQ(document.History()->count(), 0);
  for (int i = 1; i <= 150; ++i) {
    state.objectColor = static_cast<Color>(i);
    document.Change("Colour", state, 1);
  }
  EXPECT_TRUE(document.Modified());
  for (int i = 0; i < 150; ++i) document.Undo();
  EXPECT_EQ(document.State().objectColor, kDefaultObjectColor);
  EXPECT_FALSE(document.Modified());
  EXPECT_EQ(restored, 150);
  document.Redo();
  EXPECT_EQ(document.State().objectColor, 1u);
}

TEST_F(DocumentTest, TheQuestionComesOnlyBeforeChangesAreLost) {
  const QString question = "question Save changes to the animation?";
  const QString project = Save("project.txt");
  // Nothing changed, or changed and undone back to what was saved: no question.
  Load(project);
  dialogs_->colorAnswers.push_back(0x102030);
  w_->Rectcolore[1]->MouseDown(1, 0, 0);
  Undo();
  dialogs_->openAnswers.push_back(nullptr);
  MenuBar1::Instance()->Choose("FileOpen");
  EXPECT_TRUE(dialogs_->log.filter("question").isEmpty());

  // Changed: Quit, the close box, Open and a project handed over all ask;
  // Cancel keeps everything, and the window goes on working.
  Redo();
  MenuBar1::Instance()->Choose("FileQuit");
  w_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w_));
  w_->close();
  EXPECT_TRUE(w_->isVisible());
  MenuBar1::Instance()->Choose("FileOpen");
  LoadWhenFree(project);
  EXPECT_EQ(dialogs_->log.filter("question"), QStringList(4, question));
  EXPECT_FALSE(app_->Quitting());
  EXPECT_EQ(dialogs_->log.filter("open").size(), 2);  // the two Opens before, unasked
  EXPECT_EQ(w_->Rectcolore[1]->FillColor(), 0x102030u);
  const int previews = w_->contatore;
  w_->BevelB[1]->click();
  EXPECT_EQ(w_->contatore, previews + 1);

  // "Don't Save" goes on with the hand-over; "Save" saves first.
  dialogs_->saveChangesAnswers.push_back(SaveChanges::DontSave);
  LoadWhenFree(project);
  EXPECT_EQ(w_->oggetto, 0);
  EXPECT_EQ(w_->Rectcolore[1]->FillColor(), kDefaultBackgroundColor);
  w_->BevelB[2]->click();
  const QString saved = Root() + "/saved.txt";
  dialogs_->saveChangesAnswers.push_back(SaveChanges::Save);
  dialogs_->saveAnswers.push_back(GetFolderItem(saved));
  MenuBar1::Instance()->Choose("FileQuit");
  EXPECT_TRUE(app_->Quitting());
  EXPECT_EQ(Lines(saved).value(0), "2");
}

TEST_F(DocumentTest, AQuitDuringARenderStopsItBeforeAsking) {
  struct Asking : ScriptedDialogs {
    std::function<void()> asked;
    SaveChanges AskSaveChanges(const QString& text) override {
      asked();
      return ScriptedDialogs::AskSaveChanges(text);
    }
  };
  auto owned = std::make_unique<Asking>();
  Asking* dialogs = owned.get();
  bool renderingWhenAsked = true;
  dialogs->asked = [&] { renderingWhenAsked = w_->Rendering(); };
  InstallDialogs(std::move(owned));
  dialogs_ = dialogs;
  SetField(kSteps, "2000000000");  // a render that would not end by itself
  QTimer::singleShot(50, &timers_, [] { MenuBar1::Instance()->Choose("FileQuit"); });
  w_->crea_preview(0);  // returns once stopped
  EXPECT_TRUE(QTest::qWaitFor([&] { return !dialogs->log.filter("question").isEmpty(); }, 5000));
  EXPECT_FALSE(renderingWhenAsked);
  EXPECT_FALSE(app_->Quitting());  // cancelled: the window goes on
  SetField(kSteps, "5");
  const int previews = w_->contatore;
  w_->BevelB[1]->click();
  EXPECT_EQ(w_->contatore, previews + 1);
}

TEST_F(DocumentTest, RecentProjectsOutliveARestartAndLoseOneThatIsGone) {
  const QString a = Save("a.txt");
  const QString b = Save("b.txt");
  Load(a);
  EXPECT_TRUE(QFileInfo::exists(env_->configHome() + "/velostrip/velostrip.conf"));

  // A new start of the program shows the same list, newest first.
  delete w_;
  app_ = StartUp();
  w_ = Window1::InstanceIfOpen();
  auto shown = [this] {
    QMenu* recent = w_->menuBar()->findChild<QMenu*>("FileOpenRecent");
    emit recent->aboutToShow();
    QStringList texts;
    for (QAction* action : recent->actions()) texts << action->text();
    return texts;
  };
  EXPECT_EQ(shown(), (QStringList{a, b, "", "Clear Menu"}));

  // Chosen, one opens as File > "Open.." does, asking first.
  w_->BevelB[3]->click();
  dialogs_->saveChangesAnswers.push_back(SaveChanges::DontSave);
  w_->menuBar()->findChild<QAction*>("FileOpenRecent1")->trigger();
  EXPECT_EQ(dialogs_->log.filter("question").size(), 1);
  EXPECT_EQ(w_->oggetto, 0);
  EXPECT_EQ(w_->Document()->Path(), b);
  EXPECT_EQ(shown(), (QStringList{b, a, "", "Clear Menu"}));

  // One that is gone goes from the list, with a word in the log.
  QFile::remove(a);
  w_->menuBar()->findChild<QAction*>("FileOpenRecent1")->trigger();
  EXPECT_EQ(LogText(), "\"a.txt\" is no longer there: it was taken off File > Open Recent.");
  EXPECT_EQ(RecentProjects::List(), QStringList{b});

  for (int i = 0; i < 11; ++i) Save(QString("p%1.txt").arg(i));
  const QStringList ten = RecentProjects::List();
  ASSERT_EQ(ten.size(), RecentProjects::kMost);
  EXPECT_EQ(ten.first(), Root() + "/p10.txt");
  EXPECT_EQ(ten.last(), Root() + "/p1.txt");
  w_->menuBar()->findChild<QAction*>("FileOpenRecentClear")->trigger();
  EXPECT_EQ(shown(), (QStringList{"", "Clear Menu"}));
}

TEST_F(DocumentTest, ADroppedPictureBecomesTheBackgroundAndADroppedProjectOpens) {
  auto drop = [this](const QString& path, QWidget* on) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    const QPoint at = on->mapTo(w_, on->rect().center());
    // As a drag brings it: entered, then dropped.
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w_, &enter);
    QDropEvent event(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w_, &event);
  };
  const QString picture = MakePicture("back.png", 60, 50, 0xFF0000FF);
  drop(picture, w_->MoviePlayer1);
  EXPECT_EQ(Item("EditUndo"), "&Undo Background Picture");
  EXPECT_EQ(w_->asciino[kBackgroundPictureSlot], picture);
  EXPECT_EQ(Preview(), "60x50 0000ff");
  EXPECT_FALSE(w_->EditXY[kMovieWidth]->isEnabled());
  const QString other = MakePicture("other.png", 70, 40, 0xFFFFFF00);
  drop(other, w_->Rectcolore[1]);
  EXPECT_EQ(Preview(), "70x40 ffff00");

  // Anything that is no picture, or a picture dropped elsewhere, is opened as
  // a project: one that is none is refused as File > "Open.." refuses it.
  const QString notes = WriteFile("notes.txt", "shopping list\n");
  drop(notes, w_->MoviePlayer1);
  EXPECT_EQ(LogText(), "\"notes.txt\" is not a Velostrip project; nothing was loaded.");
  drop(picture, w_->LogEditField);
  EXPECT_EQ(LogText(), "\"back.png\" is not a Velostrip project; nothing was loaded.");
  EXPECT_TRUE(dialogs_->log.filter("question").isEmpty());
  EXPECT_EQ(w_->asciino[kBackgroundPictureSlot], other);

  // A project, after the question.
  Undo();
  Undo();
  w_->BevelB[2]->click();
  const QString project = Save("project.txt");
  w_->BevelB[1]->click();
  dialogs_->saveChangesAnswers.push_back(SaveChanges::DontSave);
  drop(project, w_->StaticText8);
  EXPECT_EQ(dialogs_->log.filter("question").size(), 1);
  EXPECT_EQ(w_->oggetto, 2);
  EXPECT_EQ(Item("EditUndo"), "&Undo Open Project");
}
