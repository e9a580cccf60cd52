#include "tests/support/movie_support.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cmath>
#include <cstdlib>
#include <random>

#include <malloc.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define MOVIE_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MOVIE_TEST_ASAN 1
#endif
#endif
#ifdef MOVIE_TEST_ASAN
// From AddressSanitizer's public interface (sanitizer/allocator_interface.h).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

#include "framework/picture.h"
#include "movie/movie.h"
#include "movie/movie_reader.h"
#include "tests/support/test_env.h"

namespace movietest {

QApplication& App() { return TestApp(); }

QImage RandomImage(int width, int height, uint32_t seed) {
  QImage image(width, height, QImage::Format_RGB32);
  std::mt19937 rng(seed);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) row[x] = 0xff000000u | (rng() & 0xffffffu);
  }
  return image;
}

QImage GradientImage(int width, int height, int phase) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const int r = (x * 255) / std::max(1, width - 1);
      const int g = (y * 255) / std::max(1, height - 1);
      const int b = (phase * 37 + (x + y) / 2) & 0xff;
      row[x] = qRgb(r, g, b);
    }
  }
  return image;
}

QString WriteMovie(const QString& path, const QString& type, int depth, double quality,
                   const std::vector<QImage>& frames, int timeScale) {
  const int w = frames.empty() ? 16 : frames[0].width();
  const int h = frames.empty() ? 16 : frames[0].height();
  EditableMoviePtr movie = CreateMovieAt(path);
  QTVideoTrackPtr track = movie->NewVideoTrack(w, h, 1.0);
  if (!track) return "no track";
  track->TimeScale = timeScale;
  track->CompressionType = type;
  track->Depth = depth;
  track->CompressionQuality = quality;
  QString error;
  for (const QImage& frame : frames) {
    Picture picture(frame);
    if (!track->AppendPicture(picture)) {
      error = track->Error().isEmpty() ? QString("AppendPicture failed") : track->Error();
      break;
    }
  }
  if (error.isEmpty()) error = movie->Error();
  track.reset();
  movie.reset();  // finishes the file
  return error;
}

std::vector<QImage> ReadAllFrames(const QString& path) {
  std::vector<QImage> frames;
  MovieReader reader;
  if (!reader.Open(path)) return frames;
  for (QImage image = reader.Next(); !image.isNull(); image = reader.Next()) frames.push_back(image);
  return frames;
}

QByteArray RunTool(const QString& program, const QStringList& args, QString* errors) {
  QProcess process;
  process.start(program, args);
  if (!process.waitForStarted(10000)) {
    if (errors) *errors = program + " did not start";
    return {};
  }
  QByteArray out;
  // Read as it comes: decoded video can be larger than the pipe buffer.
  while (!process.waitForFinished(50)) {
    out += process.readAllStandardOutput();
    if (process.state() == QProcess::NotRunning) break;
  }
  out += process.readAllStandardOutput();
  if (errors) *errors = QString::fromUtf8(process.readAllStandardError());
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return {};
  if (out.isNull()) out = QByteArray("");
  return out;
}

Probe ProbeMovie(const QString& path) {
  Probe probe;
  const QByteArray json = RunTool(
      "ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                  "stream=time_base,nb_frames,width,height,codec_tag_string:packet=pts,duration", "-of", "json",
                  path},
      &probe.errors);
  if (json.isNull()) return probe;
  const QJsonObject root = QJsonDocument::fromJson(json).object();
  const QJsonArray streams = root["streams"].toArray();
  if (streams.isEmpty()) return probe;
  const QJsonObject st = streams[0].toObject();
  probe.timeBase = st["time_base"].toString();
  probe.codecTag = st["codec_tag_string"].toString();
  probe.width = st["width"].toInt();
  probe.height = st["height"].toInt();
  probe.frames = st["nb_frames"].toString().toInt();
  for (const QJsonValue& p : root["packets"].toArray()) {
    const QJsonObject o = p.toObject();
    probe.pts.push_back(o["pts"].toInteger(-1));
    probe.durations.push_back(o["duration"].toInteger(-1));
  }
  probe.ok = true;
  return probe;
}

std::vector<QImage> FfmpegFrames(const QString& path, int width, int height) {
  std::vector<QImage> frames;
  const QByteArray data =
      RunTool("ffmpeg", {"-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
  const qsizetype frameBytes = qsizetype(width) * height * 3;
  if (data.isNull() || frameBytes == 0) return frames;
  for (qsizetype off = 0; off + frameBytes <= data.size(); off += frameBytes) {
    QImage image(width, height, QImage::Format_RGB32);
    const auto* s = reinterpret_cast<const uint8_t*>(data.constData() + off);
    for (int y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
      for (int x = 0; x < width; ++x, s += 3) row[x] = qRgb(s[0], s[1], s[2]);
    }
    frames.push_back(image);
  }
  return frames;
}

QString FirstDifference(const QImage& expected, const QImage& got) {
  if (got.isNull()) return "no image";
  if (expected.size() != got.size())
    return QString("size %1x%2 vs %3x%4")
        .arg(expected.width())
        .arg(expected.height())
        .arg(got.width())
        .arg(got.height());
  for (int y = 0; y < expected.height(); ++y)
    for (int x = 0; x < expected.width(); ++x) {
      const QRgb a = expected.pixel(x, y) & 0xffffff, b = got.pixel(x, y) & 0xffffff;
      if (a != b) return QString("%1,%2: %3 vs %4").arg(x).arg(y).arg(a, 6, 16, QChar('0')).arg(b, 6, 16, QChar('0'));
    }
  return {};
}

double MeanAbsError(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.isNull()) return 1e9;
  double sum = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
    }
  return sum / (3.0 * a.width() * a.height());
}

long ResidentKb() {
  QFile f("/proc/self/statm");
  if (!f.open(QIODevice::ReadOnly)) return 0;
  const QList<QByteArray> fields = f.readAll().split(' ');
  if (fields.size() < 2) return 0;
  return fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024);
}

long long HeapInUseBytes() {
#ifdef MOVIE_TEST_ASAN
  return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#else
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long long>(info.uordblks + info.hblkhd);
#endif
}

}  // namespace movietest
