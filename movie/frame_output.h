#pragma once
// One output of a rendered animation: a movie file or a folder of frames.
//
// Every format the program writes (the QuickTime movie, MP4, WebM, GIF, APNG,
// WebP, PNG and PICT frames) is one FrameOutput. The caller begins it with
// the movie's size and frame time, adds the frames in order and finishes it;
// only a finished output appears under its name, and an abandoned one (or one
// that failed) leaves nothing behind and keeps what was there before.
// Each call returns what went wrong as a sentence, empty when all is well;
// after a failure, later calls return the same.
#include <QImage>
#include <QString>
#include <memory>

struct FrameOutputOptions {
  bool loopForever = true;  // animated formats: loop, or play once
  int quality = -1;         // 0 to 100; -1 for the format's own default
  bool lossless = false;    // where the format offers both
};

class FrameOutput {
 public:
  virtual ~FrameOutput() = default;
  // Once, before the first frame: the size of every frame, and how long each
  // lasts (ticksPerFrame ticks of 1/timeScale s; the movies here use 1 of 8).
  virtual QString Begin(int width, int height, int timeScale, int ticksPerFrame) = 0;
  // The next frame, width x height, in QImage::Format_ARGB32 or RGB32.
  virtual QString AddFrame(const QImage& frame) = 0;
  // Writes what is left and gives the result its name.
  virtual QString Finish() = 0;
  // The result is not to be kept; nothing of it stays.
  virtual void Abandon() = 0;
};

using FrameOutputPtr = std::unique_ptr<FrameOutput>;
