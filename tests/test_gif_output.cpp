// GIF output: written with MakeGifOutput, read back with ffmpeg's decoder
// (pixels) and gifsicle (delays, loop, frame rectangles).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>

#include "movie/gif_output.h"
#include "movie/movie_file.h"
#include "tests/support/movie_support.h"

using namespace movietest;

namespace {

QStringList EntriesOf(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

QString WriteGif(const QString& path, const std::vector<QImage>& frames, FrameOutputOptions options = {}) {
  FrameOutputPtr out = MakeGifOutput(path, options);
  QString error = out->Begin(frames[0].width(), frames[0].height(), 8, 1);
  for (const QImage& frame : frames)
    if (error.isEmpty()) error = out->AddFrame(frame);
  return error.isEmpty() ? out->Finish() : error;
}

// The frames as ffmpeg decodes a GIF, at eight frames a second (a frame the
// GIF holds longer is seen again).
std::vector<QImage> Decoded(const QString& path, int w, int h) {
  const QByteArray data =
      RunTool("ffmpeg", {"-v", "error", "-i", path, "-vf", "fps=8", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
  std::vector<QImage> frames;
  const qsizetype size = qsizetype(w) * h * 3;
  for (qsizetype at = 0; at + size <= data.size(); at += size) {
    QImage image(w, h, QImage::Format_RGB32);
    const auto* s = reinterpret_cast<const uint8_t*>(data.constData() + at);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x, s += 3) image.setPixel(x, y, qRgb(s[0], s[1], s[2]));
    frames.push_back(image);
  }
  return frames;
}

// Every frame decodes to exactly the frame written.
void ExpectExact(const QString& path, const std::vector<QImage>& frames) {
  const std::vector<QImage> got = Decoded(path, frames[0].width(), frames[0].height());
  ASSERT_EQ(got.size(), frames.size()) << path.toStdString();
  for (size_t k = 0; k < frames.size(); ++k)
    EXPECT_EQ(FirstDifference(frames[k], got[k]).toStdString(), "") << "frame " << k;
}

// A colour background and a square that moves; `extra` more colours in a
// band whose colours shift from frame to frame.
std::vector<QImage> MovingSquare(int w, int h, int count, int extra) {
  std::vector<QImage> frames;
  for (int k = 0; k < count; ++k) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(qRgb(250, 240, 5));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        if (x >= 3 * k % w && x < 3 * k % w + 5 && y >= k % h && y < k % h + 4) image.setPixel(x, y, qRgb(20, 30, 200));
        const int i = y * w + x;
        if (i < extra) image.setPixel(x, y, qRgb((i * 7 + k * 50) & 255, i & 255, (i >> 8) * 40 + k));
      }
    frames.push_back(image);
  }
  return frames;
}

// Runs gifsicle --info on a GIF.
QString Info(const QString& path) { return QString::fromUtf8(RunTool("gifsicle", {"--info", path})); }

std::vector<int> DelaysOf(const QString& info) {
  std::vector<int> delays;
  static const QRegularExpression delay("delay (\\d+)\\.(\\d\\d)s");
  for (auto it = delay.globalMatch(info); it.hasNext();) {
    const auto m = it.next();
    delays.push_back(m.captured(1).toInt() * 100 + m.captured(2).toInt());
  }
  return delays;
}

double Psnr(const QImage& a, const QImage& b) {
  double sum = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      const int d[3] = {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)};
      for (int c : d) sum += c * c;
    }
  const double mse = sum / (3.0 * a.width() * a.height());
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace

TEST(GifOutputTest, ExactAtUpTo256ColoursAFrameWithTheMovieTiming) {
  App();
  QTemporaryDir dir;
  // Few colours; 250 colours a frame and more than 256 in all; exactly 256
  // changed colours (no index left for transparency); odd sizes and 1 x 1.
  struct Case {
    const char* name;
    int w, h, frames, extra;
  } cases[] = {{"few", 37, 23, 20, 0}, {"many", 41, 19, 9, 248}, {"full", 33, 17, 4, 254}, {"one", 1, 1, 5, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<QImage> frames = MovingSquare(c.w, c.h, c.frames, c.extra);
    if (c.w == 1) {
      frames[1].fill(qRgb(1, 2, 3));  // 1 x 1: a change, and a repeat
      frames[3].fill(qRgb(9, 8, 7));
    }
    const QString path = dir.filePath(QString(c.name) + ".gif");
    ASSERT_EQ(WriteGif(path, frames), "");
    ExpectExact(path, frames);
    const QString info = Info(path);
    EXPECT_TRUE(info.contains("loop forever")) << info.toStdString();
    EXPECT_EQ(info.count("disposal asis"), c.frames);
    // 8 frames a second: 13 and 12 hundredths in turn.
    const std::vector<int> delays = DelaysOf(info);
    ASSERT_EQ(int(delays.size()), c.frames);
    for (int k = 0; k < c.frames; ++k) EXPECT_EQ(delays[size_t(k)], k % 2 ? 12 : 13) << k;
  }
  // Only what changed is written: a frame of the moving square is a small
  // rectangle, not the whole picture.
  EXPECT_TRUE(Info(dir.filePath("few.gif")).contains(QRegularExpression("image #2 \\d+x\\d+ at")));
  EXPECT_FALSE(Info(dir.filePath("few.gif")).contains("image #2 37x23"));

  // A frame that repeats the one before lengthens it.
  std::vector<QImage> still = MovingSquare(15, 9, 8, 0);
  still[4] = still[3];
  still[5] = still[3];
  ASSERT_EQ(WriteGif(dir.filePath("still.gif"), still), "");
  ExpectExact(dir.filePath("still.gif"), still);
  EXPECT_EQ(DelaysOf(Info(dir.filePath("still.gif"))), std::vector<int>({13, 12, 13, 12 + 13 + 12, 13, 12}));

  // Frames too large to keep until the end go out as they come: still exact.
  std::vector<QImage> large;
  for (int k = 0; k < 6; ++k) {
    QImage image(1031, 1021, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb((x + y + k) % 80, k * 40, x % 3 * 60));
    large.push_back(image);
  }
  ASSERT_EQ(WriteGif(dir.filePath("large.gif"), large), "");
  ExpectExact(dir.filePath("large.gif"), large);

  // Played once: no loop extension.
  const std::vector<QImage> frames = MovingSquare(9, 7, 3, 0);
  FrameOutputOptions once;
  once.loopForever = false;
  ASSERT_EQ(WriteGif(dir.filePath("once.gif"), frames, once), "");
  EXPECT_FALSE(Info(dir.filePath("once.gif")).contains("loop"));
  ExpectExact(dir.filePath("once.gif"), frames);
}

TEST(GifOutputTest, AnUnfinishedOrFailedGifLeavesNothingAndKeepsTheOldFile) {
  App();
  QTemporaryDir dir;
  const QString path = dir.filePath("keep.gif");
  {
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old content");
  }
  const std::vector<QImage> frames = MovingSquare(20, 10, 3, 0);
  {  // abandoned
    FrameOutputPtr out = MakeGifOutput(path, {});
    ASSERT_EQ(out->Begin(20, 10, 8, 1), "");
    ASSERT_EQ(out->AddFrame(frames[0]), "");
    out->Abandon();
    EXPECT_NE(out->Finish(), "");
  }
  {  // released without Finish
    FrameOutputPtr out = MakeGifOutput(path, {});
    ASSERT_EQ(out->Begin(20, 10, 8, 1), "");
    ASSERT_EQ(out->AddFrame(frames[0]), "");
  }
  {  // a frame of the wrong size: the error, then the same error
    FrameOutputPtr out = MakeGifOutput(path, {});
    ASSERT_EQ(out->Begin(20, 10, 8, 1), "");
    const QString error = out->AddFrame(QImage(21, 10, QImage::Format_RGB32));
    EXPECT_TRUE(error.contains("21 x 10")) << error.toStdString();
    EXPECT_EQ(out->AddFrame(frames[1]), error);
    EXPECT_EQ(out->Finish(), error);
  }
  {  // no frames at all; and a size GIF cannot hold
    FrameOutputPtr out = MakeGifOutput(path, {});
    ASSERT_EQ(out->Begin(20, 10, 8, 1), "");
    EXPECT_NE(out->Finish(), "");
    EXPECT_NE(MakeGifOutput(path, {})->Begin(70000, 10, 8, 1), "");
  }
  {  // a folder in the way
    QDir(dir.path()).mkdir("folder.gif");
    EXPECT_TRUE(WriteGif(dir.filePath("folder.gif"), frames).contains("folder"));
  }
  {  // where files cannot be unnamed: a hidden file until the end
    AllowUnnamedMovieFiles(false);
    FrameOutputPtr out = MakeGifOutput(path, {});
    ASSERT_EQ(out->Begin(20, 10, 8, 1), "");
    ASSERT_EQ(out->AddFrame(frames[0]), "");
    EXPECT_EQ(EntriesOf(dir.path()).size(), 3);
    out->Abandon();
    ASSERT_EQ(WriteGif(dir.filePath("hidden.gif"), frames), "");
    AllowUnnamedMovieFiles(true);
    ExpectExact(dir.filePath("hidden.gif"), frames);
    ASSERT_TRUE(QFile::remove(dir.filePath("hidden.gif")));
  }
  EXPECT_EQ(EntriesOf(dir.path()), QStringList({"folder.gif", "keep.gif"}));
  QFile old(path);
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), "old content");
}

TEST(GifOutputTest, AFrameOfManyColoursIsCloseAndOnlyItsChangesAreWritten) {
  App();
  QTemporaryDir dir;
  // A smooth picture of thousands of colours under a small moving square.
  const int w = 96, h = 64, count = 12;
  QImage picture(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      picture.setPixel(x, y, qRgb(40 + x * 2, 30 + y * 3, int(128 + 100 * std::sin((x + y) / 9.0))));
  std::vector<QImage> frames;
  for (int k = 0; k < count; ++k) {
    QImage frame = picture.copy();
    for (int y = 20; y < 30; ++y)
      for (int x = 5 * k; x < 5 * k + 10; ++x) frame.setPixel(x, y, qRgb(200, 30, 40));
    frames.push_back(frame);
  }
  const QString path = dir.filePath("picture.gif");
  ASSERT_EQ(WriteGif(path, frames), "");
  const std::vector<QImage> got = Decoded(path, w, h);
  ASSERT_EQ(got.size(), frames.size());
  for (int k = 0; k < count; ++k) EXPECT_GT(Psnr(frames[size_t(k)], got[size_t(k)]), 30.0) << k;
  // The square itself is exact.
  for (int k = 0; k < count; ++k) EXPECT_EQ(got[size_t(k)].pixel(5 * k + 4, 25), qRgb(200, 30, 40)) << k;
  // Far smaller than the same number of whole frames.
  const QString one = dir.filePath("one.gif");
  ASSERT_EQ(WriteGif(one, {frames[0]}), "");
  EXPECT_LT(QFile(path).size(), count * QFile(one).size() / 4);
}
