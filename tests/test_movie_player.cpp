// The preview player on real movie files, in Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QTemporaryDir>
#include <QTest>

#include "framework/picture.h"
#include "movie/movie.h"
#include "movie/movie_player.h"
#include "movie/movie_reader.h"
#include "tests/support/movie_support.h"

using namespace movietest;

namespace {

class MoviePlayerTest : public testing::Test {
 protected:
  void SetUp() override {
    App();
    ASSERT_TRUE(dir_.isValid());
  }
  // Frames that differ everywhere, so a wrong frame cannot pass for the right one.
  std::vector<QImage> MakeFrames(int n, int w, int h) {
    std::vector<QImage> frames;
    for (int i = 0; i < n; ++i) frames.push_back(RandomImage(w, h, 100 + i));
    return frames;
  }
  QString Write(const QString& name, const std::vector<QImage>& frames, const QString& type = "raw ") {
    const QString path = dir_.filePath(name);
    EXPECT_EQ(WriteMovie(path, type, 24, 100, frames), "");
    return path;
  }
  QTemporaryDir dir_;
};

TEST_F(MoviePlayerTest, PlaysAtOnceInTheMoviesSize) {
  const auto frames = MakeFrames(5, 43, 21);
  MoviePtr movie = Movie::Open(Write("five.mov", frames));
  ASSERT_TRUE(movie);
  EXPECT_EQ(movie->FrameCount(), 5);
  EXPECT_DOUBLE_EQ(movie->FramesPerSecond(), 8.0);

  MoviePlayer player;
  player.SetMovie(movie);
  EXPECT_EQ(player.GetMovie(), movie);
  EXPECT_EQ(player.size(), QSize(43, 21));
  EXPECT_TRUE(player.IsPlaying());
  EXPECT_EQ(player.CurrentFrame(), 0);
  EXPECT_EQ(FirstDifference(frames[0], player.CurrentImage()), "");
  for (int k = 0; k < 5; ++k) EXPECT_EQ(FirstDifference(frames[k], player.FrameImage(k)), "") << "frame " << k;

  // Eight frames a second: in about a second the five frames come round again.
  player.show();
  QElapsedTimer clock;
  clock.start();
  std::vector<int> seen;
  while (clock.elapsed() < 1100) {
    QTest::qWait(20);
    if (seen.empty() || seen.back() != player.CurrentFrame()) seen.push_back(player.CurrentFrame());
  }
  // It moves on by itself; how far in a second depends on how busy the
  // machine is, so only the direction is checked here.
  ASSERT_GE(seen.size(), 2u);
  ASSERT_LE(seen.size(), 12u);
  for (size_t i = 1; i < seen.size(); ++i) {
    const int step = (seen[i] - seen[i - 1] + 5) % 5;
    EXPECT_TRUE(step >= 1 && step <= 3) << seen[i - 1] << " -> " << seen[i];
  }
  EXPECT_EQ(FirstDifference(frames[player.CurrentFrame()], player.CurrentImage()), "");
}

TEST_F(MoviePlayerTest, StepsLoopBothWays) {
  const auto frames = MakeFrames(4, 20, 10);
  MoviePlayer player;
  player.SetMovie(Movie::Open(Write("four.mov", frames, "rle ")));
  player.StepForward();
  EXPECT_FALSE(player.IsPlaying()) << "stepping pauses";
  std::vector<int> order{player.CurrentFrame()};
  for (int i = 0; i < 4; ++i) {
    player.StepForward();
    order.push_back(player.CurrentFrame());
    EXPECT_EQ(FirstDifference(frames[player.CurrentFrame()], player.CurrentImage()), "");
  }
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 0, 1}));
  player.StepBackward();
  player.StepBackward();
  EXPECT_EQ(player.CurrentFrame(), 3);
  EXPECT_EQ(FirstDifference(frames[3], player.CurrentImage()), "");
  player.Play();
  EXPECT_TRUE(player.IsPlaying());
  player.Pause();
  EXPECT_FALSE(player.IsPlaying());
}

TEST_F(MoviePlayerTest, EmptyAndJustFinishedMoviesOpenAndPlay) {
  // A movie released without frames.
  const QString emptyPath = dir_.filePath("empty.mov");
  {
    EditableMoviePtr movie = CreateMovieAt(emptyPath);
    QTVideoTrackPtr track = movie->NewVideoTrack(30, 20, 1.0);
    track->TimeScale = 8;
  }
  MoviePlayer player;
  MoviePtr empty = Movie::Open(emptyPath);
  ASSERT_TRUE(empty);
  player.SetMovie(empty);
  player.show();
  EXPECT_EQ(player.size(), QSize(30, 20));
  QTest::qWait(300);
  EXPECT_TRUE(player.CurrentImage().isNull());
  player.StepForward();
  player.StepBackward();
  EXPECT_FALSE(player.grab().isNull());

  // A movie released right after a few frames, then played at once.
  const QString path = dir_.filePath("three.mov");
  const auto frames = MakeFrames(3, 16, 12);
  {
    EditableMoviePtr movie = CreateMovieAt(path);
    QTVideoTrackPtr track = movie->NewVideoTrack(16, 12, 1.0);
    track->TimeScale = 8;
    for (const QImage& f : frames) ASSERT_TRUE(track->AppendPicture(Picture(f)));
  }
  player.SetMovie(Movie::Open(path));
  EXPECT_EQ(player.size(), QSize(16, 12));
  QTest::qWait(300);
  EXPECT_TRUE(player.IsPlaying());
  EXPECT_EQ(FirstDifference(frames[player.CurrentFrame()], player.CurrentImage()), "");

  player.SetMovie(nullptr);
  EXPECT_FALSE(player.IsPlaying());
  EXPECT_TRUE(player.CurrentImage().isNull());
  EXPECT_TRUE(player.FrameImage(0).isNull());
}

TEST_F(MoviePlayerTest, NotAMovieIsNil) {
  const QString path = dir_.filePath("text.mov");
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("this is not a movie at all, just some words.\n");
  f.close();
  EXPECT_FALSE(Movie::Open(path));
  EXPECT_FALSE(Movie::Open(dir_.filePath("missing.mov")));
  // Pictures and text that FFmpeg could show as a one-frame video are not movies.
  ASSERT_TRUE(RandomImage(8, 8, 1).save(dir_.filePath("still.png")));
  EXPECT_FALSE(Movie::Open(dir_.filePath("still.png")));
  ASSERT_TRUE(RandomImage(8, 8, 1).save(dir_.filePath("still.jpg")));
  EXPECT_FALSE(Movie::Open(dir_.filePath("still.jpg")));
  QFile::copy(path, dir_.filePath("notes.txt"));
  EXPECT_FALSE(Movie::Open(dir_.filePath("notes.txt")));
  MovieReader reader;
  EXPECT_FALSE(reader.Open(path));
  EXPECT_TRUE(reader.Next().isNull());
  EXPECT_TRUE(reader.Frame(0).isNull());
}

TEST_F(MoviePlayerTest, SmallerSizeShowsTheWholeFrameScaled) {
  QImage left(40, 20, QImage::Format_RGB32);
  left.fill(qRgb(255, 0, 0));
  for (int y = 0; y < 20; ++y)
    for (int x = 20; x < 40; ++x) left.setPixel(x, y, qRgb(0, 0, 255));
  MoviePlayer player;
  player.SetMovie(Movie::Open(Write("halves.mov", {left})));
  player.resize(20, 10);
  player.show();
  const QImage shown = player.grab().toImage();
  ASSERT_EQ(shown.size(), QSize(20, 10));
  EXPECT_EQ(QColor(shown.pixel(3, 5)), QColor(255, 0, 0));
  EXPECT_EQ(QColor(shown.pixel(16, 5)), QColor(0, 0, 255));
}

TEST_F(MoviePlayerTest, ControlsOnHoverClicksAndKeys) {
  const auto frames = MakeFrames(6, 90, 60);
  MoviePlayer player;
  player.SetMovie(Movie::Open(Write("six.mov", frames)));
  player.show();
  player.Pause();
  const int frame = player.CurrentFrame();
  const QImage plain = player.grab().toImage();

  // The pointer over the player shows the bar at the bottom; the top stays the picture.
  QEnterEvent enter(QPointF(45, 30), QPointF(45, 30), QPointF(45, 30));
  QApplication::sendEvent(&player, &enter);
  const QImage hovered = player.grab().toImage();
  EXPECT_EQ(plain.copy(0, 0, 90, 20), hovered.copy(0, 0, 90, 20));
  EXPECT_NE(plain.copy(0, 50, 90, 10), hovered.copy(0, 50, 90, 10));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&player, &leave);
  EXPECT_EQ(plain, player.grab().toImage());

  // Thirds of the bar: back, play/pause, forward.
  const int barY = 55;
  QTest::mouseClick(&player, Qt::LeftButton, {}, QPoint(80, barY));
  EXPECT_EQ(player.CurrentFrame(), (frame + 1) % 6);
  QTest::mouseClick(&player, Qt::LeftButton, {}, QPoint(5, barY));
  QTest::mouseClick(&player, Qt::LeftButton, {}, QPoint(5, barY));
  EXPECT_EQ(player.CurrentFrame(), (frame + 5) % 6);
  EXPECT_EQ(FirstDifference(frames[player.CurrentFrame()], player.CurrentImage()), "");
  QTest::mouseClick(&player, Qt::LeftButton, {}, QPoint(45, barY));
  EXPECT_TRUE(player.IsPlaying());
  QTest::mouseClick(&player, Qt::LeftButton, {}, QPoint(45, barY));
  EXPECT_FALSE(player.IsPlaying());

  // Space toggles, the arrows step.
  QTest::keyClick(&player, Qt::Key_Space);
  EXPECT_TRUE(player.IsPlaying());
  QTest::keyClick(&player, Qt::Key_Space);
  EXPECT_FALSE(player.IsPlaying());
  const int before = player.CurrentFrame();
  QTest::keyClick(&player, Qt::Key_Right);
  EXPECT_EQ(player.CurrentFrame(), (before + 1) % 6);
  QTest::keyClick(&player, Qt::Key_Left);
  EXPECT_EQ(player.CurrentFrame(), before);
}

// Only one decoded frame is held: stepping through a long movie, again and
// again, leaves the process's memory where it was.
TEST_F(MoviePlayerTest, MemoryStaysFlatOnALongMovie) {
  const QString path = dir_.filePath("long.mov");
  {
    EditableMoviePtr movie = CreateMovieAt(path);
    QTVideoTrackPtr track = movie->NewVideoTrack(64, 64, 1.0);
    track->TimeScale = 8;
    track->CompressionType = "rle ";
    for (int i = 0; i < 600; ++i) {
      QImage f = GradientImage(64, 64, i);
      f.setPixel(i % 64, (i / 64) % 64, qRgb(255, 255, 255));
      ASSERT_TRUE(track->AppendPicture(Picture(f)));
    }
  }
  MoviePlayer player;
  player.SetMovie(Movie::Open(path));
  ASSERT_EQ(player.GetMovie()->FrameCount(), 600);
  for (int i = 0; i < 100; ++i) player.StepForward();  // warm up
  const long long before = HeapInUseBytes();
  for (int i = 0; i < 1000; ++i) player.StepForward();
  for (int i = 0; i < 50; ++i) player.StepBackward();
  const long long after = HeapInUseBytes();
  // One 64x64 frame is 16 KB: keeping even a tenth of the frames shown would pass 1.6 MB.
  EXPECT_LT(after - before, 1024 * 1024) << "memory in use grew from " << before << " to " << after << " bytes";
  EXPECT_EQ(player.CurrentFrame(), (1100 - 50) % 600);
  QImage expected = GradientImage(64, 64, player.CurrentFrame());
  expected.setPixel(player.CurrentFrame() % 64, (player.CurrentFrame() / 64) % 64, qRgb(255, 255, 255));
  EXPECT_EQ(FirstDifference(expected, player.CurrentImage()), "");
}

// The program writes a new preview at every change and shows it: hundreds of
// write-release-open-play cycles in a session must leave no file descriptor,
// FFmpeg context or buffer behind (the writer alone holds a 1 MB I/O buffer,
// so even one leaked context a cycle would show).
TEST_F(MoviePlayerTest, ManyPreviewsLeaveNothingBehind) {
  auto openFds = [] {
    return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size();
  };
  MoviePlayer player;
  player.show();
  EditableMoviePtr scratch;  // held between previews, as the main window does
  QTVideoTrackPtr scratchTrack;
  const QImage frame = RandomImage(48, 32, 9);
  auto cycle = [&](int i) {
    const QString path = dir_.filePath(QString("temp%1.mov").arg(i));
    {
      EditableMoviePtr movie = CreateMovieAt(path);
      QTVideoTrackPtr track = movie->NewVideoTrack(48, 32, 1.0);
      track->TimeScale = 8;
      track->CompressionType = i % 3 == 0 ? "rle " : "raw ";
      for (int k = 0; k < 4; ++k) ASSERT_TRUE(track->AppendPicture(Picture(frame)));
      scratch = CreateMovieAt(dir_.filePath("scratch.mov"));
      scratchTrack = scratch->NewVideoTrack(32, 32, 1.0);
    }
    MoviePtr movie = Movie::Open(path);
    ASSERT_TRUE(movie);
    player.SetMovie(movie);
    player.StepForward();
    player.Play();
    QFile::remove(path);
  };
  for (int i = 0; i < 10; ++i) cycle(i);  // warm up
  const qsizetype fdsBefore = openFds();
  const long long heapBefore = HeapInUseBytes();
  for (int i = 10; i < 210; ++i) cycle(i);
  EXPECT_EQ(openFds(), fdsBefore);
  const long long grown = HeapInUseBytes() - heapBefore;
  EXPECT_LT(grown, 2 * 1024 * 1024) << "memory in use grew by " << grown << " bytes over 200 previews";
  EXPECT_EQ(FirstDifference(frame, player.CurrentImage()), "");
  player.SetMovie(nullptr);
}

}  // namespace
