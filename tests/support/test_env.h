#pragma once
// Helpers shared by the tests: the application object, a temporary
// application folder and Trash, and independent PICT readers.
#include <QApplication>
#include <QByteArray>
#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <functional>

#include <sys/resource.h>

// The one QApplication of a test program, made on first use (offscreen
// unless QT_QPA_PLATFORM says otherwise).
QApplication& TestApp();

// A temporary folder holding "app" (the application folder) and "data"
// (XDG_DATA_HOME, so the Trash is data/Trash). Both are restored afterwards.
struct TempAppEnv {
  TempAppEnv();
  ~TempAppEnv();
  TempAppEnv(const TempAppEnv&) = delete;
  TempAppEnv& operator=(const TempAppEnv&) = delete;

  QString root() const { return dir.path(); }
  QString appFolder() const { return dir.path() + "/app"; }
  QString dataHome() const { return dir.path() + "/data"; }
  QString configHome() const { return dir.path() + "/config"; }
  QString trashFiles() const { return dataHome() + "/Trash/files"; }
  QString trashInfo() const { return dataHome() + "/Trash/info"; }

  QTemporaryDir dir;

 private:
  QString oldAppFolder_;
  bool hadDataHome_ = false;
  QByteArray oldDataHome_;
  bool hadConfigHome_ = false;
  QByteArray oldConfigHome_;
};

// Reads a file with ImageMagick's convert (fmt is the coder, e.g. "PICT") or
// GraphicsMagick's gm convert; the pixels as RGB32, null on any failure.
QImage ReadWithImageMagick(const QString& path, const QString& fmt = QStringLiteral("PICT"));
QImage ReadWithGraphicsMagick(const QString& path, const QString& fmt = QStringLiteral("PICT"));

// Runs body with the process's file size limit set to bytes, as a disk that
// fills up after that many bytes of a file would (writes fail with EFBIG).
void WithFileSizeLimit(long bytes, const std::function<void()>& body);
// Runs body in a child process (fork) and returns what it reported; "ended
// by signal N" when the child did not end by itself.
QByteArray InChildProcess(const std::function<QByteArray()>& body);

// A file size limit for as long as it lives.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(long bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*savedHandler_)(int) = nullptr;
};

// Whether the tool lists a PICT coder that can read.
bool ImageMagickReadsPict();
bool GraphicsMagickReadsPict();
