#pragma once
// Reading movies back, frame by frame, straight from the file.
#include <QImage>
#include <QString>
#include <memory>

// A movie file opened for playing (FolderItem::OpenAsMovie). Cheap: holds the
// path and what the file says about itself.
class Movie {
 public:
  static std::shared_ptr<Movie> Open(const QString& path);  // nil if not a movie
  QString Path() const { return path_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int FrameCount() const { return frames_; }
  double FramesPerSecond() const { return fps_; }

 private:
  QString path_;
  int width_ = 0, height_ = 0, frames_ = 0;
  double fps_ = 8.0;
};
using MoviePtr = std::shared_ptr<Movie>;

// Sequential decoder with seeking to a frame index. Only one decoded frame is
// held at a time.
class MovieReader {
 public:
  MovieReader();
  ~MovieReader();
  bool Open(const QString& path);
  int Width() const;
  int Height() const;
  int FrameCount() const;
  double FramesPerSecond() const;
  // Frame k (0-based) as Format_RGB32; null image when it cannot be read.
  QImage Frame(int k);
  // The next frame in order; null at the end.
  QImage Next();
  void Rewind();

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};
