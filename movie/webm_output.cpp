// WebM (VP9 by libvpx): 4:2:0, colours tagged (see movie/yuv_conversion.h);
// VP9 codes odd sizes as they are.
#include <algorithm>
#include <cmath>
#include <thread>

#include "movie/output_formats.h"
#include "movie/stream_output.h"
#include "movie/yuv_conversion.h"

namespace {

class WebmOutput : public StreamOutput {
 public:
  using StreamOutput::StreamOutput;

 protected:
  QString Describe(int width, int height, EncoderStream::Setup& setup) override {
    if (const QString why = yuv_.Prepare(width, height); !why.isEmpty()) return why;
    setup.muxer = "webm";
    setup.encoder = "libvpx-vp9";
    setup.width = width;
    setup.height = height;
    setup.pixelFormat = AV_PIX_FMT_YUV420P;
    const int crf = WebmCrf(Options().quality);
    setup.configure = [crf](AVCodecContext* c, ffmpeg::Options& o) {
      c->color_primaries = AVCOL_PRI_BT709;
      c->color_trc = AVCOL_TRC_BT709;
      c->colorspace = AVCOL_SPC_SMPTE170M;
      c->color_range = AVCOL_RANGE_MPEG;
      c->bit_rate = 0;  // constant quality
      c->thread_count = std::clamp(int(std::thread::hardware_concurrency()), 1, 16);
      o.Set("crf", crf);
      o.Set("deadline", "good");
      o.Set("cpu-used", 2);
      o.Set("row-mt", 1);
    };
    return {};
  }
  bool Fill(const QImage& picture, AVFrame* frame) override { return yuv_.Convert(picture, frame); }

 private:
  YuvConversion yuv_;
};

}  // namespace

int WebmCrf(int quality) {
  if (quality < 0) return 32;
  return std::clamp(int(std::lround(63.0 - quality * 0.63)), 0, 63);
}

FrameOutputPtr MakeWebmOutput(const QString& path, const FrameOutputOptions& options) {
  return std::make_unique<WebmOutput>(path, options);
}
