// The formats to share (APNG, animated WebP, MP4, WebM, PNG frames), written
// by the command line from projects and read back by decoders of their own:
// FFmpeg's, libwebp's animation decoder and Qt's PNG reader. Lossless ones
// against the uncompressed QuickTime movie of the same project, pixel for
// pixel; every one for its size, its timing and its looping.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <webp/demux.h>

#include "tests/support/movie_support.h"

namespace {

using movietest::FfmpegFrames;
using movietest::FirstDifference;

// A project file: the object and its colour, the background (a colour, or a
// picture file), the movie's size and frame count, the motion and the mode.
struct Project {
  const char* name;
  QString object = "0", text{}, background{};
  int width = 41, height = 21, frames = 5;
  QString motion = "0", mode = "0";
  QList<QPoint> path{};
};

// An animated WebP decoded frame by frame, with each frame's end time and the loop count.
struct WebpMovie {
  std::vector<QImage> frames;
  std::vector<int> endsMs;
  int loops = -1;
  int width = 0, height = 0;
};

WebpMovie DecodeWebp(const QString& path) {
  WebpMovie movie;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return movie;
  const QByteArray bytes = file.readAll();
  const WebPData data{reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())};
  WebPAnimDecoderOptions options;
  WebPAnimDecoderOptionsInit(&options);
  options.color_mode = MODE_BGRA;  // Qt's ARGB32 in memory
  WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
  if (!decoder) return movie;
  WebPAnimInfo info;
  if (WebPAnimDecoderGetInfo(decoder, &info)) {
    movie.loops = int(info.loop_count);
    movie.width = int(info.canvas_width);
    movie.height = int(info.canvas_height);
  }
  uint8_t* pixels = nullptr;
  int timestamp = 0;
  while (WebPAnimDecoderHasMoreFrames(decoder) && WebPAnimDecoderGetNext(decoder, &pixels, &timestamp)) {
    QImage frame(pixels, movie.width, movie.height, QImage::Format_ARGB32);
    movie.frames.push_back(frame.convertToFormat(QImage::Format_RGB32));
    movie.endsMs.push_back(timestamp);
  }
  WebPAnimDecoderDelete(decoder);
  return movie;
}

// The play count an APNG's animation control chunk holds (0: forever).
int ApngPlays(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  const QByteArray bytes = file.readAll();
  const qsizetype at = bytes.indexOf("acTL");
  if (at < 0 || at + 12 > bytes.size()) return -1;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData() + at + 8);
  return int(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]);
}

class ShareFormatsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    QDir(dir_.path()).mkpath("out");
  }

  QString Out(const QString& name) const { return dir_.path() + "/out/" + name; }

  // A picture with many colours, as a photograph has: a gradient with a
  // little noise over it.
  QString Picture() {
    const QString path = dir_.path() + "/background.png";
    if (!QFileInfo::exists(path)) {
      QImage image(120, 80, QImage::Format_RGB32);
      uint32_t noise = 12345;
      for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
          noise = noise * 1103515245u + 12345u;
          const int n = int(noise >> 28);
          image.setPixel(x, y, qRgb(x * 2 + n, y * 3 + n, 100 + n));
        }
      EXPECT_TRUE(image.save(path));
    }
    return path;
  }

  QString Write(const Project& p) {
    QStringList lines = {p.object, p.text, "Liberation Sans", "false", "false", "false", "", p.background};
    const char* channels[3] = {"RED", "GREEN", "BLUE"};
    const char* objectColour[3] = {"200", "30", "10"};
    const char* backgroundColour[3] = {"102", "204", "255"};
    for (int i = 0; i < 3; ++i) lines << QString(objectColour[i]) + "colori componenti rgb di oggetto e sfondo " + channels[i];
    for (int i = 0; i < 3; ++i)
      lines << QString(backgroundColour[i]) + "colori componenti rgb di oggetto e sfondo " + channels[i];
    // Object width and height, frames, movie width and height, border, angles.
    lines << "9" << "9" << QString::number(p.frames) << QString::number(p.width) << QString::number(p.height) << "3"
          << "0" << "360" << p.motion << p.mode << QString::number(p.path.size());
    int maxX = 0, maxY = 0;
    for (const QPoint& point : p.path) {
      lines << QString::number(point.x()) << QString::number(point.y());
      maxX = std::max(maxX, point.x());
      maxY = std::max(maxY, point.y());
    }
    lines << QString::number(maxX) << QString::number(maxY) << "100" << "0";
    const QString path = dir_.path() + "/" + p.name + ".txt";
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write((lines.join('\n') + '\n').toUtf8());
    return path;
  }

  // Runs the program; its exit status, and what it said on stderr into *errors.
  int Velostrip(const QStringList& arguments, QString* errors = nullptr, long fileSizeLimit = 0) {
    QProcess process;
    if (fileSizeLimit > 0)
      process.setChildProcessModifier([fileSizeLimit] {
        const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      });
    process.start(VELOSTRIP_PROGRAM, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) return -1;
    if (errors) *errors = QString::fromLocal8Bit(process.readAllStandardError());
    return process.exitCode();
  }

  static void ExpectSameFrames(const std::vector<QImage>& expected, const std::vector<QImage>& got,
                               const QString& what) {
    ASSERT_EQ(got.size(), expected.size()) << what.toStdString();
    for (size_t i = 0; i < expected.size(); ++i)
      EXPECT_EQ(FirstDifference(expected[i], got[i]), "") << what.toStdString() << " frame " << i + 1;
  }

  QTemporaryDir dir_;
};

std::vector<QImage> PngFrames(const QString& folder, int count) {
  std::vector<QImage> frames;
  for (int i = 1; i <= count; ++i)
    frames.push_back(QImage(folder + QString("/frame%1.png").arg(i, 2, 10, QChar('0'))).convertToFormat(QImage::Format_RGB32));
  return frames;
}

// APNG, lossless WebP and PNG frames are the uncompressed movie's frames; so
// is the default WebP of a drawing over a colour, whose frames have few
// colours, while a picture's is lossy, close and smaller.
TEST_F(ShareFormatsTest, LosslessFormatsDecodeToTheUncompressedMovie) {
  const std::vector<Project> projects = {
      {.name = "colour", .motion = "1"},
      {.name = "picture", .background = Picture(), .width = 120, .height = 80},
      {.name = "text", .object = "4", .text = "Hello", .width = 61, .height = 33, .motion = "2"},
      {.name = "path", .object = "7", .width = 77, .height = 51, .motion = "8", .mode = "1",
       .path = {{5, 5}, {60, 10}, {20, 40}, {70, 45}}},
  };
  for (const Project& p : projects) {
    SCOPED_TRACE(p.name);
    const QString project = Write(p);
    const QString base = Out(p.name);
    QString errors;
    for (const QStringList& extra : {QStringList{"--export", base + ".mov"}, QStringList{"--export", base + ".apng"},
                                     QStringList{"--export", base + "-exact.webp", "--lossless"},
                                     QStringList{"--export", base + ".webp"},
                                     QStringList{"--export-frames", base + "-png", "--frame-format", "png"}})
      ASSERT_EQ(Velostrip(QStringList{project} + extra, &errors), 0) << errors.toStdString();
    const std::vector<QImage> expected = FfmpegFrames(base + ".mov", p.width, p.height);
    ASSERT_EQ(int(expected.size()), p.frames * (p.mode == "2" ? 2 : 1));
    ExpectSameFrames(expected, FfmpegFrames(base + ".apng", p.width, p.height), "apng");
    ExpectSameFrames(expected, DecodeWebp(base + "-exact.webp").frames, "webp --lossless");
    ExpectSameFrames(expected, PngFrames(base + "-png", p.frames), "png frames");
    const WebpMovie webp = DecodeWebp(base + ".webp");
    if (p.background.isEmpty()) {
      ExpectSameFrames(expected, webp.frames, "webp");
    } else {
      // Lossy, and smaller than the exact one.
      ASSERT_EQ(webp.frames.size(), expected.size());
      EXPECT_LT(movietest::MeanAbsError(expected.back(), webp.frames.back()), 6.0);
      EXPECT_LT(QFileInfo(base + ".webp").size(), QFileInfo(base + "-exact.webp").size());
    }
  }
}

// Every frame lasts 1/8 s, read back from each file; the animated images
// loop forever, or play once when asked.
TEST_F(ShareFormatsTest, EightFramesASecondAndLoopingAsAsked) {
  const QString project = Write({.name = "timing", .frames = 13});
  QString errors;
  for (const QString name : {"a.mp4", "a.webm", "a.apng", "a.webp"}) {
    ASSERT_EQ(Velostrip({project, "--export", Out(name)}, &errors), 0) << errors.toStdString();
  }
  ASSERT_EQ(Velostrip({project, "--export", Out("once.apng"), "--loop", "once"}, &errors), 0) << errors.toStdString();
  ASSERT_EQ(Velostrip({project, "--export", Out("once.webp"), "--loop", "once"}, &errors), 0) << errors.toStdString();

  for (const QString name : {"a.mp4", "a.webm", "a.apng"}) {
    SCOPED_TRACE(name.toStdString());
    const movietest::Probe probe = movietest::ProbeMovie(Out(name));
    ASSERT_TRUE(probe.ok) << probe.errors.toStdString();
    ASSERT_EQ(probe.durations.size(), 13u);
    const QStringList timeBase = probe.timeBase.split('/');
    int64_t total = 0;
    for (int64_t d : probe.durations) total += d;
    // 13 frames of 125 ms.
    EXPECT_EQ(total * 1000 * timeBase[0].toLongLong() / timeBase[1].toLongLong(), 13 * 125);
  }
  const WebpMovie webp = DecodeWebp(Out("a.webp"));
  ASSERT_EQ(webp.endsMs.size(), 13u);
  for (size_t i = 0; i < webp.endsMs.size(); ++i) EXPECT_EQ(webp.endsMs[i], int(i + 1) * 125);
  EXPECT_EQ(webp.loops, 0);
  EXPECT_EQ(DecodeWebp(Out("once.webp")).loops, 1);
  EXPECT_EQ(ApngPlays(Out("a.apng")), 0);
  EXPECT_EQ(ApngPlays(Out("once.apng")), 1);
  // The tool of the format's own library agrees.
  const QByteArray info = movietest::RunTool("webpinfo", {Out("once.webp")});
  EXPECT_TRUE(info.contains("Loop count      : 1")) << info.toStdString();
}

// Each format keeps the movie's size, odd ones and a single pixel included
// (the lossless ones decode to the PNG frames); the video formats keep the
// colour of a flat area within 2 levels.
TEST_F(ShareFormatsTest, OddSizesDownToOnePixel) {
  for (const QSize size : {QSize(1, 1), QSize(3, 2), QSize(41, 21)}) {
    const QString name = QString("%1x%2").arg(size.width()).arg(size.height());
    SCOPED_TRACE(name.toStdString());
    const QString project =
        Write({.name = "odd", .width = size.width(), .height = size.height(), .frames = 3});
    QString errors;
    ASSERT_EQ(Velostrip({project, "--export-frames", Out(name), "--frame-format", "png"}, &errors), 0)
        << errors.toStdString();
    const std::vector<QImage> expected = PngFrames(Out(name), 3);
    ASSERT_EQ(expected.size(), 3u);
    for (const char* extension : {"mp4", "webm", "apng", "webp"}) {
      const QString file = Out(name + "." + extension);
      ASSERT_EQ(Velostrip({project, "--export", file}, &errors), 0) << extension << ": " << errors.toStdString();
      if (QString(extension) == "webp") {
        const WebpMovie webp = DecodeWebp(file);
        EXPECT_EQ(QSize(webp.width, webp.height), size);
        ExpectSameFrames(expected, webp.frames, "webp");
        continue;
      }
      const movietest::Probe probe = movietest::ProbeMovie(file);
      EXPECT_EQ(QSize(probe.width, probe.height), size) << extension;
      const std::vector<QImage> got = FfmpegFrames(file, size.width(), size.height());
      ASSERT_EQ(got.size(), 3u) << extension;
      if (QString(extension) == "apng") {
        ExpectSameFrames(expected, got, "apng");
      } else {
        // The background's corner, far from the object.
        const QRgb a = expected[0].pixel(size.width() - 1, size.height() - 1), b = got[0].pixel(size.width() - 1, size.height() - 1);
        if (size.width() > 20) {
          EXPECT_LE(std::abs(qRed(a) - qRed(b)), 2) << extension;
          EXPECT_LE(std::abs(qGreen(a) - qGreen(b)), 2) << extension;
          EXPECT_LE(std::abs(qBlue(a) - qBlue(b)), 2) << extension;
        }
      }
    }
  }
}

// Options that mean nothing for a format are mistakes on the command line,
// and so are unknown formats and extensions: status 2, nothing written.
TEST_F(ShareFormatsTest, OptionsThatDoNotApplyAreUsageErrors) {
  const QString project = Write({.name = "options"});
  const std::vector<std::pair<QStringList, QString>> cases = {
      {{"--export", Out("a.mp4"), "--loop", "once"}, "--loop applies to"},
      {{"--export", Out("a.apng"), "--lossless"}, "--lossless applies to webp, not to apng"},
      {{"--export", Out("a.apng"), "--quality", "50"}, "--quality applies to"},
      {{"--export", Out("a.webp"), "--codec", "png"}, "--codec applies to QuickTime movies (mov) only"},
      {{"--export", Out("a.webp"), "--loop", "twice"}, "--loop is forever or once, not 'twice'"},
      {{"--export", Out("a.webm"), "--quality", "101"}, "--quality is a whole number from 0 to 100"},
      {{"--export", Out("a.avi")}, "Which format is 'a.avi'?"},
      {{"--export", Out("a.mov"), "--format", "bmp"}, "Unknown format 'bmp'"},
      {{"--export-frames", Out("f"), "--frame-format", "gif"}, "Unknown frame format 'gif'"},
      {{"--export", Out("a.mov"), "--frame-format", "png"}, "--frame-format applies to --export-frames only"},
      {{"--export-frames", Out("f"), "--loop", "once"}, "--loop applies to --export only"},
  };
  for (const auto& [arguments, message] : cases) {
    QString errors;
    EXPECT_EQ(Velostrip(QStringList{project} + arguments, &errors), 2) << arguments.join(' ').toStdString();
    EXPECT_TRUE(errors.contains(message)) << errors.toStdString();
  }
  // --format overrides the extension.
  QString errors;
  ASSERT_EQ(Velostrip({project, "--export", Out("clip.bin"), "--format", "webm"}, &errors), 0) << errors.toStdString();
  EXPECT_EQ(movietest::ProbeMovie(Out("clip.bin")).width, 41);
  EXPECT_EQ(QDir(Out("")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"clip.bin"});
}

// A format's failure (here the file size limit) leaves nothing, and a file
// that was there stays.
TEST_F(ShareFormatsTest, AFailedExportKeepsTheOldFile) {
  const QString project = Write({.name = "fails", .background = Picture(), .width = 120, .height = 80, .frames = 20});
  for (const char* extension : {"mp4", "webm", "apng", "webp"}) {
    const QString file = Out(QString("old.") + extension);
    QFile old(file);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    QString errors;
    EXPECT_EQ(Velostrip({project, "--export", file}, &errors, 2048), 1) << extension;
    EXPECT_TRUE(errors.startsWith("velostrip: Movie not written: File too large")) << errors.toStdString();
    EXPECT_TRUE(errors.endsWith(" - " + file + "\n")) << errors.toStdString();
    QFile kept(file);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "old") << extension;
  }
  EXPECT_EQ(QDir(Out("")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 4);
}

}  // namespace
