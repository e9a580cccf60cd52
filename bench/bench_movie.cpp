// Movie writing speed.
//
// RawAppendVsFwrite: 200 uncompressed 2048x2048 frames appended to a movie,
// against the same number of bytes written with plain fwrite in the same run.
// The "ratio" counter is movie time / fwrite time (the goal is at most 1.5).
//
// PreviewMovie: a whole preview-sized movie (400x200, 18 frames), as the
// program makes for every preview.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "framework/picture.h"
#include "movie/movie.h"

namespace {

QImage NoiseImage(int w, int h, unsigned seed) {
  QImage image(w, h, QImage::Format_RGB32);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
    for (int x = 0; x < w; ++x) row[x] = 0xff000000u | (rng() & 0xffffffu);
  }
  return image;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void RawAppendVsFwrite(benchmark::State& state) {
  constexpr int kSize = 2048, kFrames = 200;
  QTemporaryDir dir;
  const Picture a(NoiseImage(kSize, kSize, 1)), b(NoiseImage(kSize, kSize, 2));
  const size_t frameBytes = size_t(kSize) * kSize * 3;
  std::vector<char> bytes(frameBytes, 7);
  double movieTotal = 0, fwriteTotal = 0;
  for (auto _ : state) {
    // Plain fwrite of the same amount of data.
    const QByteArray plainPath = QFile::encodeName(dir.filePath("plain.bin"));
    auto start = std::chrono::steady_clock::now();
    FILE* f = std::fopen(plainPath.constData(), "wb");
    for (int i = 0; i < kFrames; ++i) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    const double fwriteTime = Seconds(start);
    QFile::remove(dir.filePath("plain.bin"));

    start = std::chrono::steady_clock::now();
    {
      EditableMoviePtr movie = CreateMovieAt(dir.filePath("raw.mov"));
      QTVideoTrackPtr track = movie->NewVideoTrack(kSize, kSize, 1.0);
      track->TimeScale = 8;
      track->CompressionType = "raw ";
      track->Depth = 24;
      for (int i = 0; i < kFrames; ++i)
        if (!track->AppendPicture(i % 2 ? b : a)) state.SkipWithError(track->Error().toUtf8().constData());
    }
    const double movieTime = Seconds(start);
    QFile::remove(dir.filePath("raw.mov"));

    state.SetIterationTime(movieTime);
    movieTotal += movieTime;
    fwriteTotal += fwriteTime;
  }
  state.counters["fwrite_s"] = fwriteTotal / double(state.iterations());
  state.counters["movie_s"] = movieTotal / double(state.iterations());
  state.counters["ratio"] = fwriteTotal > 0 ? movieTotal / fwriteTotal : 0;
  state.SetBytesProcessed(int64_t(state.iterations()) * kFrames * int64_t(frameBytes));
  std::printf("raw 2048x2048 x %d frames: movie %.3f s, fwrite %.3f s, ratio %.2f\n", kFrames,
              movieTotal / double(state.iterations()), fwriteTotal / double(state.iterations()),
              fwriteTotal > 0 ? movieTotal / fwriteTotal : 0.0);
}
BENCHMARK(RawAppendVsFwrite)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void PreviewMovie(benchmark::State& state, const char* type) {
  QTemporaryDir dir;
  std::vector<std::unique_ptr<Picture>> frames;
  for (int i = 0; i < 18; ++i) frames.push_back(std::make_unique<Picture>(NoiseImage(400, 200, i)));
  for (auto _ : state) {
    {
      EditableMoviePtr movie = CreateMovieAt(dir.filePath("preview.mov"));
      QTVideoTrackPtr track = movie->NewVideoTrack(400, 200, 1.0);
      track->TimeScale = 8;
      track->CompressionType = type;
      for (const auto& p : frames) track->AppendPicture(*p);
    }
    QFile::remove(dir.filePath("preview.mov"));
  }
}
BENCHMARK_CAPTURE(PreviewMovie, raw, "raw ")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PreviewMovie, animation, "rle ")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
