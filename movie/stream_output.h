#pragma once
// The part that the outputs on an FFmpeg encoder (MP4, WebM, APNG) share:
// the stream is opened by Begin, each picture is converted into a frame of
// the encoder's and sent, and Finish or Abandon end it.
#include "movie/encoder_stream.h"
#include "movie/frame_output.h"

class StreamOutput : public FrameOutput {
 public:
  StreamOutput(const QString& path, const FrameOutputOptions& options) : path_(path), options_(options) {}
  QString Begin(int width, int height, int timeScale, int ticksPerFrame) final;
  QString AddFrame(const QImage& frame) final;
  QString Finish() final;
  void Abandon() final;

 protected:
  // The stream's setup for frames of this size; an error text when the
  // format cannot take them.
  virtual QString Describe(int width, int height, EncoderStream::Setup& setup) = 0;
  // Fills the encoder's frame from a picture (of the size begun, RGB32).
  virtual bool Fill(const QImage& picture, AVFrame* frame) = 0;
  const FrameOutputOptions& Options() const { return options_; }

 private:
  QString Fail(const QString& error);

  const QString path_;
  const FrameOutputOptions options_;
  EncoderStream stream_;
  int width_ = 0, height_ = 0, frames_ = 0;
  bool begun_ = false, finished_ = false;
  QString error_;
};

// The largest side of a picture the shared formats take.
constexpr int kMaxSharedSide = 16384;
