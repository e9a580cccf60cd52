// Drawing speeds that the renderer depends on every frame: restoring small
// rectangles from a background snapshot, scaling a background once, and the
// shapes and text drawn on top.
#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include "framework/picture.h"

namespace {

PicturePtr Background(int w, int h) {
  PicturePtr pic = NewPicture(w, h, 32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) pic->image().setPixel(x, y, 0xFF000000u | (x * 7 << 8) | (y * 3));
  return pic;
}

void BM_EraseCopy(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  PicturePtr background = Background(640, 480);
  PicturePtr frame = NewPicture(640, 480, 32);
  int n = 0;
  for (auto _ : state) {
    const int x = (n * 37) % 600 - 20, y = (n * 23) % 440 - 20;
    frame->Graphics()->DrawPicture(*background, x, y, size, size, x, y, size, size);
    ++n;
  }
  benchmark::DoNotOptimize(frame->image().constBits());
}
BENCHMARK(BM_EraseCopy)->Arg(32)->Arg(128);

void BM_FullFrameCopy(benchmark::State& state) {
  PicturePtr background = Background(640, 480);
  PicturePtr frame = NewPicture(640, 480, 32);
  for (auto _ : state) frame->Graphics()->DrawPicture(*background, 0, 0);
  benchmark::DoNotOptimize(frame->image().constBits());
}
BENCHMARK(BM_FullFrameCopy);

void BM_ScaleBackground(benchmark::State& state) {
  PicturePtr background = Background(320, 240);
  PicturePtr frame = NewPicture(640, 480, 32);
  for (auto _ : state) frame->Graphics()->DrawPicture(*background, 0, 0, 640, 480, 0, 0, 320, 240);
  benchmark::DoNotOptimize(frame->image().constBits());
}
BENCHMARK(BM_ScaleBackground);

void BM_TransparentSprite(benchmark::State& state) {
  PicturePtr sprite = NewPicture(64, 64, 32);
  sprite->Graphics()->FillOval(0, 0, 64, 64);
  sprite->Transparent = 1;
  PicturePtr frame = NewPicture(640, 480, 32);
  for (auto _ : state) frame->Graphics()->DrawPicture(*sprite, 100, 100);
  benchmark::DoNotOptimize(frame->image().constBits());
}
BENCHMARK(BM_TransparentSprite);

void BM_Shapes(benchmark::State& state) {
  PicturePtr frame = NewPicture(640, 480, 32);
  Graphics* g = frame->Graphics();
  g->PenWidth = 3;
  g->PenHeight = 3;
  for (auto _ : state) {
    g->FillOval(100, 100, 120, 80);
    g->DrawOval(300, 100, 120, 80);
    g->DrawRoundRect(100, 250, 200, 120, 30, 20);
    g->DrawLine(0, 0, 639, 479);
  }
  benchmark::DoNotOptimize(frame->image().constBits());
}
BENCHMARK(BM_Shapes);

void BM_DrawString(benchmark::State& state) {
  static int argc = 1;
  static char name[] = "bench_graphics";
  static char* argv[] = {name, nullptr};
  static QGuiApplication app(argc, argv);
  PicturePtr frame = NewPicture(640, 480, 32);
  Graphics* g = frame->Graphics();
  g->TextSize = 24;
  for (auto _ : state) g->DrawString("Velostrip title text", 20, 100);
  benchmark::DoNotOptimize(frame->image().constBits());
}
BENCHMARK(BM_DrawString);

}  // namespace

BENCHMARK_MAIN();
