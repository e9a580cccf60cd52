// Rendered movies decoded back and compared, frame by frame, with frames
// drawn independently from the motion formulas.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStorageInfo>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <sys/resource.h>

#include "engine/motion.h"
#include "framework/folder_bound.h"
#include "framework/pict.h"
#include "framework/text.h"
#include "main_window/render_progress.h"
#include "tests/support/window_fixture.h"

namespace {

constexpr unsigned kObject = 0x000080;
constexpr unsigned kBackground = 0x66CCFF;

// The corner of frame i for the default linear motion.
QPoint LinearCorner(int i, double steps = 18, double W = 400, double H = 200, double w = 18, double h = 18) {
  double x = 0, y = 0;
  MotionInput in;
  in.kind = 0;
  in.steps = steps;
  in.dx = PerFrameStep(W - w, steps);
  in.dy = PerFrameStep(H - h, steps);
  MotionPosition(in, i, x, y, nullptr, nullptr);
  return QPoint(ToInteger(x), ToInteger(y));
}

// Independent drawing of the expected frames with the framework's graphics.
struct Reference {
  Picture pic;
  Reference(int w, int h) : pic(w, h) {
    pic.Graphics()->ForeColor = kBackground;
    pic.Graphics()->FillRect(0, 0, w, h);
  }
  void Oval(QPoint c, int size = 18) {
    pic.Graphics()->ForeColor = kObject;
    pic.Graphics()->FillOval(c.x(), c.y(), size, size);
  }
  void Restore(const QRect& r) {
    pic.Graphics()->ForeColor = kBackground;
    pic.Graphics()->FillRect(r.x(), r.y(), r.width(), r.height());
  }
};

class RenderTest : public WindowTest {};

}  // namespace

TEST_F(RenderTest, OpeningPreviewShowsTheOvalMoving) {
  OpenWindow();
  ASSERT_TRUE(w_->f);
  // The opening's object choice makes one preview, its motion choice two; all
  // three show the oval going from corner to corner, and the third plays.
  EXPECT_EQ(w_->contatore, 3);
  EXPECT_EQ(w_->f->AbsolutePath(), ScratchDir() + "/temp3.mov");
  std::vector<QImage> frames;
  for (int n = 1; n <= 3; ++n) {
    frames = DecodeAllFrames(ScratchDir() + QString("/temp%1.mov").arg(n));
    ASSERT_EQ(frames.size(), 18u);
    for (int i = 1; i <= 18; ++i) {
      Reference ref(400, 200);
      ref.Oval(LinearCorner(i));
      EXPECT_EQ(frames[i - 1], ref.pic.image()) << "movie " << n << " frame " << i;
    }
  }
  // The player shows it, at its own size, centred in the preview area.
  EXPECT_EQ(w_->MoviePlayer1->geometry(), QRect(265, 200, 400, 200));
  EXPECT_EQ(w_->MoviePlayer1->FrameImage(17), frames[17]);
  // The scratch movie that released it is itself finished by the next render.
  w_->crea_preview(0);
  EXPECT_TRUE(QFileInfo::exists(ScratchDir() + "/temp_temp_scratch.mov"));
}

TEST_F(RenderTest, CopyLeavesATrailAndCopyClearWipesIt) {
  OpenWindow();
  w_->RadioBu[1]->SetValue(true);
  w_->crea_preview(0);
  auto copy = DecodeAllFrames(w_->f->AbsolutePath());
  ASSERT_EQ(copy.size(), 18u);
  Reference trail(400, 200);
  for (int i = 1; i <= 18; ++i) {
    trail.Oval(LinearCorner(i));
    EXPECT_EQ(copy[i - 1], trail.pic.image()) << "frame " << i;
  }

  w_->RadioBu[2]->SetValue(true);
  w_->crea_preview(0);
  auto clear = DecodeAllFrames(w_->f->AbsolutePath());
  ASSERT_EQ(clear.size(), 36u);
  EXPECT_EQ(clear[17], trail.pic.image());
  Reference wipe(400, 200);
  for (int i = 1; i <= 18; ++i) wipe.Oval(LinearCorner(i));
  for (int k = 1; k <= 18; ++k) {
    const QPoint c = LinearCorner(k);
    wipe.Restore(QRect(c.x() - 1, c.y() - 1, 20, 20));
    EXPECT_EQ(clear[17 + k], wipe.pic.image()) << "erase frame " << k;
  }
  EXPECT_EQ(CountPixels(clear[35], kObject), 0);
}

TEST_F(RenderTest, EachObjectKindDrawsItsShape) {
  OpenWindow();
  SetField(2, "2");
  w_->EditXY[5]->setEnabled(true);
  SetField(5, "3");
  // Frame 1 stands at (0, 0): each kind's first frame against its drawing.
  for (int kind = 0; kind <= 9; ++kind) {
    if (kind == 4 || kind == 5 || kind == 6) continue;
    w_->oggetto = kind;
    w_->crea_preview(0);
    auto frames = DecodeAllFrames(w_->f->AbsolutePath());
    ASSERT_EQ(frames.size(), 2u);
    Reference ref(400, 200);
    Graphics* g = ref.pic.Graphics();
    g->ForeColor = kObject;
    g->PenWidth = g->PenHeight = 3;
    switch (kind) {
      case 0: g->FillOval(0, 0, 18, 18); break;
      case 1: g->FillRect(0, 0, 18, 18); break;
      case 2: g->DrawOval(0, 0, 18, 18); break;
      case 3: g->DrawRect(0, 0, 18, 18); break;
      case 7: g->FillRoundRect(0, 0, 18, 18, 9, 9); break;
      case 8: g->DrawRoundRect(0, 0, 18, 18, 9, 9); break;
      case 9:
        g->DrawOval(3, 3, 12, 12);
        g->DrawRect(0, 0, 18, 18);
        break;
    }
    EXPECT_EQ(frames[0], ref.pic.image()) << "kind " << kind;
  }
  // Kind 9: the inner oval leaves the band between it and the outline free.
  w_->oggetto = 9;
  w_->crea_preview(0);
  QImage first = DecodeAllFrames(w_->f->AbsolutePath())[0];
  EXPECT_EQ(first.pixel(3, 9) & 0xFFFFFF, kObject);  // the oval's left edge
  EXPECT_EQ(first.pixel(9, 9) & 0xFFFFFF, kBackground);  // its inside
  EXPECT_EQ(first.pixel(1, 9) & 0xFFFFFF, kObject);  // the square's band

  // An unknown kind draws nothing but still makes every frame.
  w_->oggetto = 12;
  w_->crea_preview(0);
  auto frames = DecodeAllFrames(w_->f->AbsolutePath());
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1], FlatImage(400, 200, kBackground));
}

TEST_F(RenderTest, PicturesScaleIntoTheObjectBoxAndTheBackgroundFillsTheFrame) {
  OpenWindow();
  SetField(2, "1");
  // A 2 x 2 picture, white on the right: kind 5 keeps white, kind 6 lets it through.
  auto pic = std::make_shared<Picture>(2, 2);
  pic->image().setPixel(0, 0, 0xFFFF0000);
  pic->image().setPixel(0, 1, 0xFFFF0000);
  pic->image().setPixel(1, 0, 0xFFFFFFFF);
  pic->image().setPixel(1, 1, 0xFFFFFFFF);
  w_->immagine = pic;
  w_->oggetto = 5;
  w_->crea_preview(0);
  QImage frame = DecodeAllFrames(w_->f->AbsolutePath()).at(0);
  EXPECT_EQ(frame.pixel(0, 0) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(frame.pixel(8, 17) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(frame.pixel(9, 0) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(frame.pixel(18, 0) & 0xFFFFFF, kBackground);
  pic->Transparent = 1;
  w_->oggetto = 6;
  w_->crea_preview(0);
  frame = DecodeAllFrames(w_->f->AbsolutePath()).at(0);
  EXPECT_EQ(frame.pixel(9, 0) & 0xFFFFFF, kBackground);

  // A 3 x 1 background picture stretched over 400 x 200, aspect not kept.
  auto bg = std::make_shared<Picture>(3, 1);
  bg->image().setPixel(0, 0, 0xFF112233);
  bg->image().setPixel(1, 0, 0xFF445566);
  bg->image().setPixel(2, 0, 0xFF778899);
  w_->sfondo = bg;
  w_->oggetto = 12;
  w_->crea_preview(0);
  frame = DecodeAllFrames(w_->f->AbsolutePath()).at(0);
  // Every row alike, each third of the width one source pixel, edges exact.
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 400; ++x) {
      const unsigned px = frame.pixel(x, y) & 0xFFFFFF;
      if (x < 130) ASSERT_EQ(px, 0x112233u) << x << "," << y;
      else if (x >= 138 && x < 262) ASSERT_EQ(px, 0x445566u) << x << "," << y;
      else if (x >= 270) ASSERT_EQ(px, 0x778899u) << x << "," << y;
      else ASSERT_TRUE(px == 0x112233u || px == 0x445566u || px == 0x778899u);
    }
}

TEST_F(RenderTest, TextObjectDrawsOneCharacterPerFrame) {
  OpenWindow();
  w_->asciino[0] = "AB";
  w_->asciino[1] = "Liberation Sans";
  w_->asciino[2] = "true";
  w_->oggetto = 4;
  SetField(0, "30");
  SetField(1, "30");
  SetField(2, "5");
  w_->crea_preview(0);
  auto frames = DecodeAllFrames(w_->f->AbsolutePath());
  ASSERT_EQ(frames.size(), 5u);
  // Frames 1 and 2 carry ink; from frame 3 on "Move" leaves the background alone.
  EXPECT_GT(CountPixels(frames[0], kObject), 20);
  EXPECT_GT(CountPixels(frames[1], kObject), 20);
  EXPECT_NE(frames[0], frames[1]);
  for (int i = 2; i < 5; ++i) EXPECT_EQ(frames[i], FlatImage(400, 200, kBackground)) << i;
  // The first character sits in its box, the baseline at the box's bottom.
  QImage f0 = frames[0];
  int lowest = -1;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 60; ++x)
      if ((f0.pixel(x, y) & 0xFFFFFF) != kBackground) lowest = std::max(lowest, y);
  EXPECT_GE(lowest, 25);
  EXPECT_LE(lowest, 31);
}

TEST_F(RenderTest, StepsBelowTwoMakeShortButValidMovies) {
  OpenWindow();
  SetField(2, "1");
  w_->crea_preview(0);
  auto one = DecodeAllFrames(w_->f->AbsolutePath());
  ASSERT_EQ(one.size(), 1u);
  Reference ref(400, 200);
  ref.Oval(QPoint(0, 0));
  EXPECT_EQ(one[0], ref.pic.image());

  SetField(2, "");
  w_->crea_preview(0);
  EXPECT_TRUE(DecodeAllFrames(w_->f->AbsolutePath()).empty());
  EXPECT_TRUE(w_->MoviePlayer1->GetMovie());
  EXPECT_EQ(w_->MoviePlayer1->GetMovie()->Path(), w_->f->AbsolutePath());
  // A movie without frames still has its size, and the player takes it.
  EXPECT_EQ(w_->MoviePlayer1->geometry(), QRect(265, 200, 400, 200));
}

TEST_F(RenderTest, PreviewsAreNumberedAndTheScratchFolderIsMadeWhenNeeded) {
  OpenWindow();
  w_->crea_preview(0);
  w_->crea_preview(0);
  for (const char* name : {"temp1.mov", "temp2.mov", "temp3.mov", "temp4.mov", "temp5.mov"})
    EXPECT_TRUE(QFileInfo::exists(ScratchDir() + "/" + name)) << name;
  EXPECT_EQ(w_->contatore, 5);

  // A plain file of the scratch folder's name gives way to a folder.
  QDir(ScratchDir()).removeRecursively();
  QFile plain(ScratchDir());
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.write("not a folder");
  plain.close();
  w_->crea_preview(0);
  EXPECT_TRUE(QFileInfo(ScratchDir()).isDir());
  EXPECT_TRUE(QFileInfo::exists(ScratchDir() + "/temp6.mov"));
}

TEST_F(RenderTest, PlayerFitsLargeMoviesAndKeepsSmallOnes) {
  OpenWindow();
  SetField(3, "100");
  SetField(4, "50");
  w_->crea_preview(0);
  EXPECT_EQ(w_->MoviePlayer1->geometry(), QRect(415, 275, 100, 50));
  SetField(3, "1120");
  SetField(4, "560");
  w_->crea_preview(0);
  EXPECT_EQ(w_->MoviePlayer1->geometry(), QRect(185, 160, 560, 280));
}

TEST_F(RenderTest, FrameExportWritesNumberedPictsEqualToTheMovie) {
  OpenWindow();
  QDir(Root()).mkpath("frames");
  // A complete export replaces the files of its frames' names, and only those.
  for (const char* name : {"frame001", "notes.txt"}) {
    QFile file(Root() + "/frames/" + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("the user's");
  }
  w_->cartella = GetFolderItem(Root() + "/frames");
  w_->crea_preview(1);
  auto frames = DecodeAllFrames(w_->f->AbsolutePath());
  ASSERT_EQ(frames.size(), 18u);
  for (int i = 1; i <= 18; ++i) {
    const QString name = QString("frame%1").arg(i, 3, 10, QChar('0'));
    QFile file(Root() + "/frames/" + name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    EXPECT_EQ(DecodePict(file.readAll()).convertToFormat(QImage::Format_RGB32), frames[i - 1]) << i;
  }
  EXPECT_EQ(QDir(Root() + "/frames").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 19);
  QFile notes(Root() + "/frames/notes.txt");
  ASSERT_TRUE(notes.open(QIODevice::ReadOnly));
  EXPECT_EQ(notes.readAll(), "the user's");
  EXPECT_EQ(w_->LogEditField->Text(), "18 frames saved into folder frames (located at " + Root() +
                                          "/frames).");
}

// The user's files of the frames' names stay, with their content, unless the
// export completes: a frame that cannot be written and a quit leave them
// all, and nothing of the export's own.
TEST_F(RenderTest, AFrameExportThatFailsOrIsStoppedLeavesTheUsersFrames) {
  OpenWindow();
  const QString dir = Root() + "/mine";
  QDir().mkpath(dir + "/frame010");
  auto mine = [](int i) { return QByteArray("the user's frame ") + QByteArray::number(i); };
  for (int i = 1; i <= 18; ++i) {
    if (i == 10) continue;
    QFile file(dir + QString("/frame%1").arg(i, 3, 10, QChar('0')));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(mine(i));
  }
  auto kept = [&] {
    EXPECT_EQ(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 18);
    for (int i = 1; i <= 18; ++i) {
      if (i == 10) continue;
      QFile file(dir + QString("/frame%1").arg(i, 3, 10, QChar('0')));
      ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << i;
      EXPECT_EQ(file.readAll(), mine(i)) << i;
    }
  };
  w_->cartella = GetFolderItem(dir);
  w_->crea_preview(1);
  EXPECT_EQ(w_->LogEditField->Text(), "Frame not saved: a folder of that name is in the way - " + dir + "/frame010");
  kept();

  // Stopped by a quit half-way.
  QDir(dir + "/frame010").removeRecursively();
  SetField(2, "2000000");
  w_->cartella = GetFolderItem(dir);
  QTimer quit;
  QObject::connect(&quit, &QTimer::timeout, w_, [this] {
    if (w_->Progress()->Done() >= 20) w_->StopForQuit();
  });
  quit.start(1);
  w_->crea_preview(1);
  EXPECT_GE(w_->Progress()->Done(), 20);
  EXPECT_FALSE(QFileInfo::exists(dir + "/frame010"));
  QDir(dir).mkdir("frame010");
  kept();
}

TEST_F(RenderTest, FrameExportNamesFollowTheStepsWidth) {
  OpenWindow();
  struct Case {
    const char* steps;
    const char* first;
    const char* last;
  } cases[] = {{"9", "frame01", "frame09"}, {"100", "frame0001", "frame0100"}};
  for (const Case& c : cases) {
    const QString dir = Root() + "/f" + c.steps;
    QDir().mkpath(dir);
    w_->cartella = GetFolderItem(dir);
    SetField(2, c.steps);
    SetField(3, "40");
    SetField(4, "30");
    SetField(0, "4");
    SetField(1, "4");
    w_->crea_preview(1);
    EXPECT_TRUE(QFileInfo::exists(dir + "/" + c.first)) << c.first;
    EXPECT_TRUE(QFileInfo::exists(dir + "/" + c.last)) << c.last;
    EXPECT_EQ(QDir(dir).entryList(QDir::Files).size(), QString(c.steps).toInt());
  }
  // "Copy Clear" still writes one file per step; an empty steps field none.
  const QString dir = Root() + "/clear";
  QDir().mkpath(dir);
  w_->cartella = GetFolderItem(dir);
  SetField(2, "18");
  w_->RadioBu[2]->SetValue(true);
  w_->crea_preview(1);
  EXPECT_EQ(QDir(dir).entryList(QDir::Files).size(), 18);
  EXPECT_EQ(DecodeAllFrames(w_->f->AbsolutePath()).size(), 36u);

  const QString empty = Root() + "/empty";
  QDir().mkpath(empty);
  w_->cartella = GetFolderItem(empty);
  SetField(2, "");
  w_->crea_preview(1);
  EXPECT_EQ(QDir(empty).entryList(QDir::Files).size(), 0);
  EXPECT_EQ(w_->LogEditField->Text(), "0 frames saved into folder empty (located at " + empty + ").");
}

TEST_F(RenderTest, FailedWritesAreReportedAndThePreviewKeepsPlaying) {
  OpenWindow();
  MoviePtr before = w_->MoviePlayer1->GetMovie();
  ASSERT_TRUE(before);
  // A scratch folder that cannot exist: the application folder becomes a file's child.
  QDir(ScratchDir()).removeRecursively();
  QFile blocker(Root() + "/blocker");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  SetApplicationFolder(Root() + "/blocker");
  w_->crea_preview(0);
  EXPECT_TRUE(w_->LogEditField->Text().contains("ftemp")) << w_->LogEditField->Text().toStdString();
  EXPECT_EQ(w_->MoviePlayer1->GetMovie(), before);
  SetApplicationFolder(AppDir());

  // PICT frames into a folder that is not there.
  w_->cartella = GetFolderItem(Root() + "/blocker/frames");
  w_->crea_preview(1);
  EXPECT_TRUE(w_->LogEditField->Text().contains("frame001")) << w_->LogEditField->Text().toStdString();
  EXPECT_EQ(w_->MoviePlayer1->GetMovie(), before);
}

TEST_F(RenderTest, AMovieThatCannotBeFinishedIsReportedByName) {
  OpenWindow();
  SetField(3, "160");
  SetField(4, "120");
  SetField(2, "300");
  MoviePtr before = w_->MoviePlayer1->GetMovie();
  // The scratch folder goes while the movie is written: it cannot be named.
  QTest::qWait(20);  // the render's first yield then hands over to the event loop
  QObject scope;
  QTimer::singleShot(0, &scope, [this] { QDir(ScratchDir()).removeRecursively(); });
  const QString movie = ScratchDir() + "/temp" + QString::number(w_->contatore + 1) + ".mov";
  w_->crea_preview(0);
  // The reason first, where the narrow log field shows it, and the path once.
  const QString log = w_->LogEditField->Text();
  EXPECT_TRUE(log.startsWith("Movie not written: No such file or directory")) << log.toStdString();
  EXPECT_EQ(log.count(movie), 1) << log.toStdString();
  EXPECT_EQ(w_->MoviePlayer1->GetMovie(), before);
  EXPECT_FALSE(QFileInfo::exists(movie));
}

// Under a file size limit (ulimit -f) the program runs in a child process that
// starts with the signal's default action, as a program started from a shell
// does: the opening preview, larger than the limit, is reported like a full
// disk, and the next preview, within the limit, is made and shown.
TEST_F(RenderTest, APreviewBeyondTheFileSizeLimitIsReportedAndTheNextOneIsMade) {
  const QByteArray text = InChildProcess([this] {
    std::signal(SIGXFSZ, SIG_DFL);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 1 << 20;  // the opening preview takes 4.3 MB
    ::setrlimit(RLIMIT_FSIZE, &limit);
    StartProgram();
    QString found = w_ ? QString() : "no window";
    if (found.isEmpty() && !w_->LogEditField->Text().startsWith("Movie not written: File too large"))
      found = "opening preview: " + w_->LogEditField->Text();
    if (found.isEmpty()) {
      SetField(2, "8");
      SetField(3, "200");  // 90 KB a frame, 720 KB in all
      SetField(4, "150");
      w_->crea_preview(0);
      MoviePtr shown = w_->MoviePlayer1->GetMovie();
      if (!shown || shown->Path() != w_->f->AbsolutePath() || DecodeAllFrames(shown->Path()).size() != 8)
        found = "next preview: " + w_->LogEditField->Text();
    }
    return found.isEmpty() ? QByteArray("ok") : found.toUtf8();
  });
  EXPECT_EQ(text, "ok");
}

// A long render shows how far it has come under the preview area, where no
// control lies, and the strip goes when it ends; nothing of the layout, the
// title or the log changes.
TEST_F(RenderTest, ALongRenderShowsItsProgressUnderThePreviewWithoutMovingAnyControl) {
  OpenWindow();
  w_->show();
  auto geometries = [this] {
    std::map<std::pair<QString, int>, QRect> g;
    for (const auto& key : w_->Controls().CreationOrder())
      g[key] = w_->Controls().Find(key.first, key.second)->geometry();
    return g;
  };
  const auto before = geometries();
  const QString title = w_->windowTitle(), log = w_->LogEditField->Text();
  const QSize size = w_->size();
  RenderProgress* progress = w_->Progress();
  EXPECT_FALSE(progress->isVisible());
  for (const auto& [key, rect] : before) {
    if (key.first == "Rectangle3") continue;  // the preview area's backdrop, which it lies on
    EXPECT_FALSE(rect.intersects(progress->geometry())) << key.first.toStdString() << " " << key.second;
  }

  // Shown at once here, rather than after half a second.
  progress->SetDelay(0);
  SetField(2, "300");
  struct Sample {
    bool visible;
    int done, total;
    bool layoutKept;
  };
  std::vector<Sample> samples;
  QTimer timer;
  timer.setInterval(0);
  QObject::connect(&timer, &QTimer::timeout, w_, [&] {
    if (w_->Rendering())
      samples.push_back({progress->isVisible(), progress->Done(), progress->Total(), geometries() == before});
  });
  timer.start();
  w_->crea_preview(0);
  timer.stop();

  ASSERT_FALSE(samples.empty());  // the render yields to the interface while it runs
  int last = 0;
  for (const Sample& s : samples) {
    EXPECT_TRUE(s.visible);
    EXPECT_EQ(s.total, 300);
    EXPECT_GE(s.done, last);
    EXPECT_TRUE(s.layoutKept);
    last = s.done;
  }
  EXPECT_GT(last, 0);
  EXPECT_EQ(progress->Text(), QString("Rendering frame %1 of 300").arg(progress->Done()));
  EXPECT_FALSE(progress->isVisible());
  EXPECT_EQ(geometries(), before);
  EXPECT_EQ(w_->windowTitle(), title);
  EXPECT_EQ(w_->LogEditField->Text(), log);
  EXPECT_EQ(w_->size(), size);
}

// Previews stay until quit while the scratch folder is within its bound;
// past it the oldest go first, never the one shown or the one being written.
TEST_F(RenderTest, PreviewsPastTheScratchFoldersBoundGoOldestFirst) {
  OpenWindow();
  auto previews = [this] {
    QStringList names = QDir(ScratchDir()).entryList({"temp?*.mov"}, QDir::Files);
    names.removeAll("temp_temp_scratch.mov");
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
      return a.mid(4).chopped(4).toInt() < b.mid(4).chopped(4).toInt();
    });
    return names;
  };
  SetField(2, "40");
  w_->crea_preview(0);
  const int opened = w_->contatore;
  EXPECT_EQ(previews().size(), opened);  // ordinary sizes: every one stays
  const qint64 one = QFileInfo(w_->f->AbsolutePath()).size();
  qint64 others = FolderBytes(ScratchDir());  // what is not a preview: the throw-away movie
  for (const QString& name : previews()) others -= QFileInfo(ScratchDir() + "/" + name).size();
  SetFolderBoundForTests(others + 3 * one + one / 2);
  for (int i = 0; i < 3; ++i) w_->crea_preview(0);
  const int last = w_->contatore;
  EXPECT_EQ(previews(), (QStringList{"temp" + Str(last - 2) + ".mov", "temp" + Str(last - 1) + ".mov",
                                     "temp" + Str(last) + ".mov"}));
  EXPECT_EQ(w_->MoviePlayer1->GetMovie()->Path(), ScratchDir() + "/temp" + Str(last) + ".mov");

  // No room at all: the one shown stays, and plays.
  SetFolderBoundForTests(0);
  w_->crea_preview(0);
  EXPECT_EQ(previews(), QStringList{"temp" + Str(last + 1) + ".mov"});
  EXPECT_EQ(DecodeAllFrames(ScratchDir() + "/temp" + Str(last + 1) + ".mov").size(), 40u);
  SetFolderBoundForTests(-1);
  EXPECT_EQ(FolderBound(ScratchDir()),
            std::min(qint64(1) << 30, QStorageInfo(ScratchDir()).bytesAvailable() / 4));
}
