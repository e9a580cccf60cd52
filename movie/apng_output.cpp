// APNG (FFmpeg's encoder and muxer): lossless 24-bit frames, each stored as
// the part that changed; loops forever unless told to play once.
#include "movie/output_formats.h"
#include "movie/pixel_pack.h"
#include "movie/stream_output.h"

namespace {

class ApngOutput : public StreamOutput {
 public:
  using StreamOutput::StreamOutput;

 protected:
  QString Describe(int width, int height, EncoderStream::Setup& setup) override {
    setup.muxer = "apng";
    setup.encoder = "apng";
    setup.width = width;
    setup.height = height;
    setup.pixelFormat = AV_PIX_FMT_RGB24;
    const bool loops = Options().loopForever;
    setup.configureMuxer = [loops](ffmpeg::Options& o) { o.Set("plays", loops ? 0 : 1); };
    return {};
  }
  bool Fill(const QImage& picture, AVFrame* frame) override {
    PackRowsRgb24(picture, 0, picture.height(), frame->data[0], frame->linesize[0]);
    return true;
  }
};

}  // namespace

FrameOutputPtr MakeApngOutput(const QString& path, const FrameOutputOptions& options) {
  return std::make_unique<ApngOutput>(path, options);
}
