#include "movie/stream_output.h"

QString StreamOutput::Fail(const QString& error) {
  if (error_.isEmpty()) error_ = error;
  stream_.Abandon();
  return error_;
}

QString StreamOutput::Begin(int width, int height, int timeScale, int ticksPerFrame) {
  if (!error_.isEmpty()) return error_;
  if (begun_) return Fail("it was begun twice");
  begun_ = true;
  if (width < 1 || height < 1 || width > kMaxSharedSide || height > kMaxSharedSide)
    return Fail(QString("a frame of %1 x %2 pixels is too large for it").arg(width).arg(height));
  if (timeScale < 1 || ticksPerFrame < 1) return Fail("its frames would have no duration");
  width_ = width;
  height_ = height;
  EncoderStream::Setup setup;
  setup.timeScale = timeScale;
  setup.ticksPerFrame = ticksPerFrame;
  if (const QString why = Describe(width, height, setup); !why.isEmpty()) return Fail(why);
  if (const QString why = stream_.Open(path_, setup); !why.isEmpty()) return Fail(why);
  return {};
}

QString StreamOutput::AddFrame(const QImage& frame) {
  if (!error_.isEmpty()) return error_;
  if (!begun_) return Fail("a frame came before the beginning");
  if (finished_) return Fail("it was already finished");
  QImage picture = frame;
  if (picture.width() != width_ || picture.height() != height_)
    return Fail(QString("frame %1 is not %2 x %3 pixels").arg(frames_ + 1).arg(width_).arg(height_));
  if (picture.format() != QImage::Format_RGB32 && picture.format() != QImage::Format_ARGB32)
    picture = picture.convertToFormat(QImage::Format_RGB32);
  ffmpeg::FramePtr out = stream_.NewFrame();
  if (!out) return Fail("out of memory");
  if (!Fill(picture, out.get())) return Fail(QString("the picture could not be converted (frame %1)").arg(frames_ + 1));
  ++frames_;
  if (const QString why = stream_.Send(std::move(out)); !why.isEmpty()) return Fail(why);
  return {};
}

QString StreamOutput::Finish() {
  if (!error_.isEmpty() || finished_) return error_;
  if (frames_ == 0) return Fail("it has no frames");
  if (const QString why = stream_.Finish(); !why.isEmpty()) return Fail(why);
  finished_ = true;
  return {};
}

void StreamOutput::Abandon() {
  if (error_.isEmpty()) error_ = "it was not kept";
  stream_.Abandon();
}
