#pragma once
// A main window against a temporary application folder, Trash and scripted
// dialogs, for the tests that drive the program's windows.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>
#include <memory>
#include <ostream>

#include "app/application.h"
#include "framework/scripted_dialogs.h"
#include "main_window/window1.h"
#include "tests/support/test_env.h"

// Readable failure messages for texts.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

// A QApplication for the whole test run (offscreen).
void EnsureQtApp();

// Decodes every frame of a movie file with FFmpeg.
std::vector<QImage> DecodeAllFrames(const QString& path);

// The frame as the renderer would draw it, drawn independently: the
// background colour with the listed filled ovals.
QImage FlatImage(int w, int h, unsigned rgb);

// How many pixels of the picture have this colour.
int CountPixels(const QImage& img, unsigned rgb);

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the main window (its opening renders the first preview).
  Window1* OpenWindow();
  // Starts the whole program as it starts up (application object, menus,
  // main window), without its event loop.
  void StartProgram();
  // Sets a number field as typing would, then the render is asked with Return.
  void SetField(int k, const QString& text);
  QString AppDir() const { return env_->appFolder(); }
  QString DataDir() const { return env_->dataHome(); }
  QString TrashFiles() const { return env_->trashFiles(); }
  QString ScratchDir() const { return AppDir() + "/ftemp"; }

  QString Root() const { return env_->root(); }  // the temporary folder holding it all

  std::unique_ptr<TempAppEnv> env_;
  ScriptedDialogs* dialogs_ = nullptr;  // owned by the dialog layer
  Window1* w_ = nullptr;
  App* app_ = nullptr;  // with StartProgram
};
