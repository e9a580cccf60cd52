// GIF writing speed and memory.
//
// Gif/<kind>/<frames>: frames of 400 x 300 drawn as the program renders a
// movie (an object of 40 x 40 moving over the background, a colour or a
// picture of many colours), written into a GIF in a RAM disk (/dev/shm, or
// the folder in VELOSTRIP_BENCH_DIR). Counters: ms_per_frame, and
// heap_kb, the most heap the writing held after any frame, above what the
// process held before it began (the frames drawn one at a time, as the
// program does). It should not grow with the number of frames: compare /50
// with /400 and /3000. (Up to 4 MB of frames are kept for the global colour
// table's order; beyond that the frames go out as they come.)
//
// Run with --encode MOVIE GIF instead, it writes the frames of a movie into a
// GIF and nothing else (bench/gif_compare.sh times it against ffmpeg).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "movie/gif_output.h"
#include "movie/movie_reader.h"

namespace {

constexpr int kWidth = 400, kHeight = 300;

// A smooth picture with many colours, as a photograph background is.
QImage PictureBackground() {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  for (int y = 0; y < kHeight; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
    for (int x = 0; x < kWidth; ++x) {
      const int r = int(127 + 120 * std::sin(x * 0.031 + y * 0.007));
      const int g = int(127 + 120 * std::sin(y * 0.043 + 1.0));
      const int b = int(127 + 120 * std::sin((x + y) * 0.019 + 2.0));
      row[x] = qRgb(r, g, b);
    }
  }
  return image;
}

QImage Frame(const QImage& background, int k) {
  QImage frame = background.copy();
  QPainter painter(&frame);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(QColor(200, 30, 40));
  painter.setPen(Qt::NoPen);
  const double angle = k * 0.2;
  painter.drawEllipse(QRectF(180 + 120 * std::cos(angle), 130 + 100 * std::sin(angle), 40, 40));
  return frame;
}

long HeapKb() {
  const struct mallinfo2 info = mallinfo2();
  return long((info.uordblks + info.hblkhd) / 1024);
}

QString ScratchFolder() {
  const char* dir = std::getenv("VELOSTRIP_BENCH_DIR");
  return dir ? QString(dir) : QDir("/dev/shm").exists() ? QString("/dev/shm") : QDir::tempPath();
}

void BM_Gif(benchmark::State& state, bool picture) {
  const int frames = int(state.range(0));
  QImage background(kWidth, kHeight, QImage::Format_RGB32);
  if (picture) background = PictureBackground();
  else background.fill(QColor(250, 240, 5));
  QTemporaryDir dir(ScratchFolder() + "/bench_gif-XXXXXX");
  const QString path = dir.path() + "/movie.gif";
  double seconds = 0, heap = 0;
  for (auto _ : state) {
    const long before = HeapKb();
    long most = 0;
    const auto start = std::chrono::steady_clock::now();
    FrameOutputPtr out = MakeGifOutput(path, FrameOutputOptions{});
    QString error = out->Begin(kWidth, kHeight, 8, 1);
    for (int k = 0; k < frames && error.isEmpty(); ++k) {
      error = out->AddFrame(Frame(background, k));
      most = std::max(most, HeapKb() - before);
    }
    if (error.isEmpty()) error = out->Finish();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    heap += double(most);
    if (!error.isEmpty()) {
      state.SkipWithError(error.toUtf8().constData());
      break;
    }
    state.counters["bytes"] = double(QFile(path).size());
  }
  state.counters["ms_per_frame"] = 1000.0 * seconds / double(state.iterations() * frames);
  state.counters["heap_kb"] = heap / double(state.iterations());
}

BENCHMARK_CAPTURE(BM_Gif, colour, false)->Arg(50)->Arg(400)->Arg(3000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Gif, picture, true)->Arg(50)->Arg(400)->Unit(benchmark::kMillisecond);

int Encode(const char* moviePath, const char* gifPath) {
  MovieReader reader;
  if (!reader.Open(QString::fromLocal8Bit(moviePath))) {
    std::fprintf(stderr, "cannot read %s\n", moviePath);
    return 1;
  }
  FrameOutputPtr out = MakeGifOutput(QString::fromLocal8Bit(gifPath), FrameOutputOptions{});
  QString error = out->Begin(reader.Width(), reader.Height(), 8, 1);
  for (QImage frame = reader.Next(); !frame.isNull() && error.isEmpty(); frame = reader.Next())
    error = out->AddFrame(frame);
  if (error.isEmpty()) error = out->Finish();
  if (!error.isEmpty()) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--encode") == 0) return Encode(argv[2], argv[3]);
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
