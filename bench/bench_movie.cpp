// Movie writing speed, each codec against a reference run side by side.
//
// Export/<codec>: 200 frames of 2048 x 2048 appended to a movie, written into
// a RAM disk (/dev/shm, or the folder in VELOSTRIP_BENCH_DIR). The reference,
// timed in the same iteration and folder:
//   raw  - the same number of bytes written with plain fwrite
//          (goal: ratio at most 1.15);
//   rle, png, jpeg, avc1 - the ffmpeg command line encoding the same frames
//          (fed as rgb24) with the same codec and settings and its default
//          threads (goal: ratio at most 1.1).
// Counters: movie_s, reference_s and ratio = movie_s / reference_s (means
// over the iterations), and best_ratio, the ratio of the fastest runs of
// each, which a machine busy with other work disturbs least. For raw, also
// frames_fwrite_s and frames_ratio: fwrite of the 200 frames' own bytes (read
// from memory like the movie's, where the plain reference repeats one buffer
// that stays in the processor's cache).
//
// PreviewMovie: a whole preview-sized movie (400 x 200, 18 frames), as the
// program makes for every preview (goal: a few milliseconds); jpeg_odd_width
// at 401 x 200, where Photo - JPEG converts from a copy of each picture.
//
// SmallFrames/<codec>: a long movie of 8 x 8 frames, one pixel changed before
// each, from the first append to the finished file; counter us_per_frame
// (goal for raw: at most 1.5 µs a frame, which is what writing such frames
// costs when nothing but the writing is paid per frame).
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "framework/picture.h"
#include "movie/movie.h"

namespace {

constexpr int kSize = 2048, kFrames = 200;

QImage NoiseImage(int w, int h, unsigned seed) {
  QImage image(w, h, QImage::Format_RGB32);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
    for (int x = 0; x < w; ++x) row[x] = 0xff000000u | (rng() & 0xffffffu);
  }
  return image;
}

// The frames are drawn as the program renders a movie: one picture, painted
// with a background once, then changed a little (a busy square moved on)
// before each frame is appended.
QImage Background(int size) {
  QImage image(size, size, QImage::Format_RGB32);
  for (int y = 0; y < size; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
    for (int x = 0; x < size; ++x) row[x] = qRgb(x * 255 / size, y * 255 / size, (x + y) & 0xff);
  }
  return image;
}

void DrawFrame(QImage& canvas, const std::vector<QImage>& squares, int index) {
  const QImage& square = squares[size_t(index) % squares.size()];
  const int room = canvas.width() - square.width();
  const int left = (index * 37) % room, top = (canvas.height() / 3 + index * 23) % room;
  for (int y = 0; y < square.height(); ++y)
    std::memcpy(canvas.scanLine(top + y) + left * 4, square.constScanLine(y), size_t(square.bytesPerLine()));
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

QString BenchFolder() {
  const QByteArray chosen = qgetenv("VELOSTRIP_BENCH_DIR");
  if (!chosen.isEmpty()) return QString::fromLocal8Bit(chosen);
  return QDir("/dev/shm").exists() ? "/dev/shm" : QDir::tempPath();
}

// What every export draws from, made once, and the same frames as one rgb24
// file for the ffmpeg command line.
struct Frames {
  QTemporaryDir dir{BenchFolder() + "/velostrip-bench-XXXXXX"};
  QImage background = Background(kSize);
  std::vector<QImage> squares;
  QString rgbFile;

  Frames() {
    for (int i = 0; i < 8; ++i) squares.push_back(NoiseImage(kSize / 8, kSize / 8, unsigned(i)));
    rgbFile = dir.filePath("frames.rgb");
    FILE* f = std::fopen(QFile::encodeName(rgbFile).constData(), "wb");
    std::vector<uint8_t> rgb(size_t(kSize) * kSize * 3);
    QImage canvas = background.copy();
    for (int i = 0; i < kFrames && f; ++i) {
      DrawFrame(canvas, squares, i);
      uint8_t* out = rgb.data();
      for (int y = 0; y < kSize; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(canvas.constScanLine(y));
        for (int x = 0; x < kSize; ++x, out += 3) {
          out[0] = uint8_t(row[x] >> 16);
          out[1] = uint8_t(row[x] >> 8);
          out[2] = uint8_t(row[x]);
        }
      }
      std::fwrite(rgb.data(), 1, rgb.size(), f);
    }
    if (f) std::fclose(f);
  }
};

Frames& SharedFrames() {
  static Frames frames;
  return frames;
}

// The ffmpeg command line's settings matching ours at quality 100.
const std::map<std::string, std::string> kFfmpegCodec = {
    {"rle ", "-c:v qtrle"},
    {"png ", "-c:v png"},
    {"jpeg", "-c:v mjpeg -pix_fmt yuvj420p -qmin 1 -q:v 1"},
    {"avc1", "-c:v libx264 -preset medium -crf 12 -bf 0 -g 32 -pix_fmt yuv420p"},
};

// fwrite of the frames' rgb24 bytes, taken from the mapped file that holds them.
double FramesFwrite(const QString& folder, const QString& rgbFile) {
  QFile source(rgbFile);
  if (!source.open(QIODevice::ReadOnly)) return 0;
  const uchar* bytes = source.map(0, source.size());
  if (!bytes) return 0;
  const size_t frameBytes = size_t(kSize) * kSize * 3;
  const auto start = std::chrono::steady_clock::now();
  FILE* f = std::fopen(QFile::encodeName(folder + "/frames.bin").constData(), "wb");
  for (int i = 0; i < kFrames && f; ++i) std::fwrite(bytes + size_t(i) * frameBytes, 1, frameBytes, f);
  if (f) std::fclose(f);
  const double seconds = Seconds(start);
  QFile::remove(folder + "/frames.bin");
  return seconds;
}

double ReferenceRun(const QString& type, const QString& folder, const QString& rgbFile, benchmark::State& state) {
  const auto start = std::chrono::steady_clock::now();
  if (type == "raw ") {
    // Plain fwrite of the bytes an uncompressed 24-bit movie holds.
    std::vector<char> bytes(size_t(kSize) * kSize * 3, 7);
    FILE* f = std::fopen(QFile::encodeName(folder + "/plain.bin").constData(), "wb");
    for (int i = 0; i < kFrames && f; ++i) std::fwrite(bytes.data(), 1, bytes.size(), f);
    if (f) std::fclose(f);
  } else {
    const std::string command = "ffmpeg -nostdin -y -loglevel error -f rawvideo -pix_fmt rgb24 -s " +
                                std::to_string(kSize) + "x" + std::to_string(kSize) + " -r 8 -i '" +
                                rgbFile.toStdString() + "' " + kFfmpegCodec.at(type.toStdString()) + " '" +
                                folder.toStdString() + "/cli.mov'";
    if (std::system(command.c_str()) != 0) state.SkipWithError("the ffmpeg command line failed");
  }
  const double seconds = Seconds(start);
  QFile::remove(folder + "/plain.bin");
  QFile::remove(folder + "/cli.mov");
  return seconds;
}

void Export(benchmark::State& state, const char* codec) {
  const QString type = codec;
  Frames& frames = SharedFrames();
  const QString folder = frames.dir.path();
  double movieTotal = 0, referenceTotal = 0, movieBest = 1e9, referenceBest = 1e9, framesTotal = 0;
  for (auto _ : state) {
    const double referenceTime = ReferenceRun(type, folder, frames.rgbFile, state);
    if (type == "raw ") framesTotal += FramesFwrite(folder, frames.rgbFile);
    Picture canvas(frames.background.copy());
    const auto start = std::chrono::steady_clock::now();
    {
      EditableMoviePtr movie = CreateMovieAt(folder + "/export.mov");
      QTVideoTrackPtr track = movie->NewVideoTrack(kSize, kSize, 1.0);
      track->TimeScale = 8;
      track->CompressionType = type;
      track->Depth = 24;
      for (int i = 0; i < kFrames; ++i) {
        DrawFrame(canvas.image(), frames.squares, i);
        if (!track->AppendPicture(canvas)) break;
      }
      const QString error = movie->Finish();
      if (!error.isEmpty()) state.SkipWithError(error.toUtf8().constData());
    }
    const double movieTime = Seconds(start);
    QFile::remove(folder + "/export.mov");
    state.SetIterationTime(movieTime);
    movieTotal += movieTime;
    referenceTotal += referenceTime;
    movieBest = std::min(movieBest, movieTime);
    referenceBest = std::min(referenceBest, referenceTime);
  }
  const double n = double(state.iterations());
  state.counters["movie_s"] = movieTotal / n;
  state.counters["reference_s"] = referenceTotal / n;
  state.counters["ratio"] = referenceTotal > 0 ? movieTotal / referenceTotal : 0;
  state.counters["best_ratio"] = movieBest / referenceBest;
  if (framesTotal > 0) {
    state.counters["frames_fwrite_s"] = framesTotal / n;
    state.counters["frames_ratio"] = movieTotal / framesTotal;
  }
}
BENCHMARK_CAPTURE(Export, raw, "raw ")->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Export, animation, "rle ")->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Export, png, "png ")->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Export, jpeg, "jpeg")->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Export, h264, "avc1")->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void PreviewMovie(benchmark::State& state, const char* type, int width) {
  QTemporaryDir dir(BenchFolder() + "/velostrip-bench-XXXXXX");
  std::vector<std::unique_ptr<Picture>> frames;
  for (int i = 0; i < 18; ++i) frames.push_back(std::make_unique<Picture>(NoiseImage(width, 200, unsigned(i))));
  for (auto _ : state) {
    {
      EditableMoviePtr movie = CreateMovieAt(dir.filePath("preview.mov"));
      QTVideoTrackPtr track = movie->NewVideoTrack(width, 200, 1.0);
      track->TimeScale = 8;
      track->CompressionType = type;
      for (const auto& p : frames) track->AppendPicture(*p);
    }
    QFile::remove(dir.filePath("preview.mov"));
  }
}
BENCHMARK_CAPTURE(PreviewMovie, raw, "raw ", 400)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PreviewMovie, animation, "rle ", 400)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PreviewMovie, png, "png ", 400)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PreviewMovie, jpeg, "jpeg", 400)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PreviewMovie, jpeg_odd_width, "jpeg", 401)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PreviewMovie, h264, "avc1", 400)->Unit(benchmark::kMillisecond);

void SmallFrames(benchmark::State& state, const char* type) {
  QTemporaryDir dir(BenchFolder() + "/velostrip-bench-XXXXXX");
  const int frames = int(state.range(0));
  double total = 0;
  for (auto _ : state) {
    Picture canvas(NoiseImage(8, 8, 3));
    const auto start = std::chrono::steady_clock::now();
    {
      EditableMoviePtr movie = CreateMovieAt(dir.filePath("small.mov"));
      QTVideoTrackPtr track = movie->NewVideoTrack(8, 8, 1.0);
      track->TimeScale = 8;
      track->CompressionType = type;
      for (int i = 0; i < frames; ++i) {
        canvas.image().setPixel(i % 8, (i / 8) % 8, 0xff000000u | uint32_t(i * 2654435761u >> 8));
        if (!track->AppendPicture(canvas)) break;
      }
      const QString error = movie->Finish();
      if (!error.isEmpty()) state.SkipWithError(error.toUtf8().constData());
    }
    const double seconds = Seconds(start);
    state.SetIterationTime(seconds);
    total += seconds;
    QFile::remove(dir.filePath("small.mov"));
  }
  state.counters["us_per_frame"] = total * 1e6 / (double(state.iterations()) * frames);
}
BENCHMARK_CAPTURE(SmallFrames, raw, "raw ")->Arg(300000)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SmallFrames, animation, "rle ")->Arg(30000)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SmallFrames, png, "png ")->Arg(30000)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
