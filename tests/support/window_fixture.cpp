#include "tests/support/window_fixture.h"

#include <QApplication>
#include <QDir>

#include "app/file_types.h"
#include "framework/folderitem.h"
#include "framework/system.h"
#include "movie/movie_reader.h"

void EnsureQtApp() {
  TestApp();
  static bool types = [] {
    FileTypes::_Initialize();
    return true;
  }();
  (void)types;
}

std::vector<QImage> DecodeAllFrames(const QString& path) {
  std::vector<QImage> frames;
  MovieReader reader;
  if (!reader.Open(path)) return frames;
  for (QImage img = reader.Next(); !img.isNull(); img = reader.Next())
    frames.push_back(img.convertToFormat(QImage::Format_RGB32));
  return frames;
}

QImage FlatImage(int w, int h, unsigned rgb) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(QColor::fromRgb(0xFF000000u | rgb));
  return img;
}

int CountPixels(const QImage& img, unsigned rgb) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) == rgb;
  return n;
}

void WindowTest::SetUp() {
  EnsureQtApp();
  env_ = std::make_unique<TempAppEnv>();
  ASSERT_TRUE(env_->dir.isValid());
  auto scripted = std::make_unique<ScriptedDialogs>();
  dialogs_ = scripted.get();
  InstallDialogs(std::move(scripted));
  ProvideWindowServices();
}

void WindowTest::TearDown() {
  if (Window1* w = Window1::InstanceIfOpen()) delete w;
  w_ = nullptr;
  InstallDialogs(nullptr);
  dialogs_ = nullptr;
  env_.reset();
}

Window1* WindowTest::OpenWindow() {
  w_ = Window1::Instance();
  return w_;
}

void WindowTest::StartProgram() {
  app_ = StartUp();
  w_ = Window1::InstanceIfOpen();
  ASSERT_TRUE(w_);
}

void WindowTest::SetField(int k, const QString& text) { w_->EditXY[k]->SetText(text); }

