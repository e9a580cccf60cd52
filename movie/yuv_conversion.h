#pragma once
// Pictures converted to 4:2:0 YUV for the video encoders of the shared
// formats (MP4, WebM), in the limited range with the BT.601 matrix, and the
// files tagged so (with the BT.709 primaries and transfer of the picture's
// sRGB colours). Browsers convert BT.601 back within a level or two of the
// picture's colours, where with the BT.709 matrix their conversion misses
// saturated colours by more, and Firefox shows full-range video too bright.
//
// An odd width or height is converted as the picture grown by its own last
// column and row, so the chroma of the edge is taken from the picture's
// pixels and from nothing beyond them; the frame to fill must have room for
// that even size.
#include <QImage>
#include <QString>

#include "movie/ffmpeg_util.h"

class YuvConversion {
 public:
  // For pictures of width x height; returns what went wrong.
  QString Prepare(int width, int height);
  // Fills a frame (AV_PIX_FMT_YUV420P, at least the even size) from a
  // picture of the prepared size; false when it could not.
  bool Convert(const QImage& picture, AVFrame* frame);
  int EvenWidth() const { return evenWidth_; }
  int EvenHeight() const { return evenHeight_; }

 private:
  int width_ = 0, height_ = 0, evenWidth_ = 0, evenHeight_ = 0;
  ffmpeg::SwsPtr sws_;
  QImage grown_;  // the picture with its last column and row repeated, for odd sizes
};
