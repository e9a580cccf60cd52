// Rendering speed: the default preview, and a large movie compared with
// writing the same bytes with plain fwrite in the same run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/file_types.h"
#include "framework/desktop_application.h"
#include "framework/folderitem.h"
#include "framework/picture.h"
#include "framework/scripted_dialogs.h"
#include "framework/system.h"
#include "main_window/window1.h"

namespace {

struct Env {
  QTemporaryDir tmp;
  Window1* window = nullptr;
  Env() {
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    MakeLargeTextRepeatable();
    static DesktopApplication app(argc, argv);
    FileTypes::_Initialize();
    InstallDialogs(std::make_unique<ScriptedDialogs>());
    SetApplicationFolder(tmp.path());
    window = Window1::Instance();
  }
  void Settings(const char* steps, const char* w, const char* h) {
    window->EditXY[2]->SetText(steps);
    window->EditXY[3]->SetText(w);
    window->EditXY[4]->SetText(h);
  }
  // Previews pile up in the scratch folder; keep the disk from filling.
  void DropPreviews() {
    QDir dir(tmp.path() + "/ftemp");
    for (const QString& name : dir.entryList({"temp*.mov"}, QDir::Files))
      if (!window->f || QFileInfo(dir.filePath(name)).absoluteFilePath() != window->f->AbsolutePath())
        dir.remove(name);
  }
};

Env& TheEnv() {
  static Env env;
  return env;
}

void BM_DefaultPreview(benchmark::State& state) {
  Env& env = TheEnv();
  env.Settings("18", "400", "200");
  for (auto _ : state) {
    env.window->crea_preview(0);
    state.PauseTiming();
    env.DropPreviews();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * 18);
}
BENCHMARK(BM_DefaultPreview)->Unit(benchmark::kMillisecond);

constexpr int kFrames = 200;
constexpr int kSide = 2048;

// 200 frames of 2048 x 2048 in "Move", and in the same run the same number
// of bytes written with plain fwrite; the counter "ratio" is render / fwrite.
void BM_LargeMovieVsFwrite(benchmark::State& state) {
  Env& env = TheEnv();
  const QString path = env.tmp.path() + "/plain.bin";
  std::vector<unsigned char> frame(size_t(kSide) * kSide * 3, 0x5A);
  double renderSeconds = 0, plainSeconds = 0;
  for (auto _ : state) {
    env.Settings("200", "2048", "2048");
    auto t0 = std::chrono::steady_clock::now();
    env.window->crea_preview(0);
    auto t1 = std::chrono::steady_clock::now();
    FILE* f = std::fopen(path.toLocal8Bit().constData(), "wb");
    for (int i = 0; i < kFrames && f; ++i) std::fwrite(frame.data(), 1, frame.size(), f);
    if (f) std::fclose(f);
    auto t2 = std::chrono::steady_clock::now();
    renderSeconds += std::chrono::duration<double>(t1 - t0).count();
    plainSeconds += std::chrono::duration<double>(t2 - t1).count();
    state.PauseTiming();
    QFile::remove(path);
    env.Settings("18", "400", "200");
    env.window->crea_preview(0);
    env.DropPreviews();
    state.ResumeTiming();
  }
  state.counters["render_s"] = renderSeconds / state.iterations();
  state.counters["fwrite_s"] = plainSeconds / state.iterations();
  state.counters["ratio"] = plainSeconds > 0 ? renderSeconds / plainSeconds : 0;
}
BENCHMARK(BM_LargeMovieVsFwrite)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
