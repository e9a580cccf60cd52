#pragma once
// Helpers for the movie tests: test pictures, writing a movie in one call,
// and FFmpeg's own command-line tools as independent readers.
#include <QImage>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

class QApplication;

namespace movietest {

// The process's QApplication, made on first use.
QApplication& App();

// Opaque Format_RGB32 pictures.
QImage RandomImage(int width, int height, uint32_t seed);
QImage GradientImage(int width, int height, int phase);

// Writes frames with the given settings (time scale 8, frame rate 1.0) and
// releases the movie. Returns the error the movie reported, empty when none.
QString WriteMovie(const QString& path, const QString& type, int depth, double quality,
                   const std::vector<QImage>& frames, int timeScale = 8);

// Every frame our own reader gets from the file, in order.
std::vector<QImage> ReadAllFrames(const QString& path);

// What ffprobe says about the first video stream.
struct Probe {
  bool ok = false;
  QString timeBase;    // "1/8"
  QString codecTag;    // "raw ", "rle "... as ffprobe spells it
  int width = 0, height = 0;
  int frames = -1;     // nb_frames
  std::vector<int64_t> pts, durations;  // per packet, in time base units
  QString errors;
};
Probe ProbeMovie(const QString& path);

// The frames as FFmpeg's command-line decoder reads them (as rgb24).
std::vector<QImage> FfmpegFrames(const QString& path, int width, int height);

// Runs a program; its standard output, or a null array when it failed.
QByteArray RunTool(const QString& program, const QStringList& args, QString* errors = nullptr);

// Index of the first differing pixel as "x,y: expected vs got", empty when equal (RGB only).
QString FirstDifference(const QImage& expected, const QImage& got);
// Mean absolute difference per channel (0..255).
double MeanAbsError(const QImage& a, const QImage& b);

// Resident memory of this process, in kilobytes.
long ResidentKb();
// Bytes the process has allocated and not freed (the sanitizer's count when
// built with AddressSanitizer, whose quarantine keeps freed memory resident).
long long HeapInUseBytes();

}  // namespace movietest
