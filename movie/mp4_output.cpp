// MP4 (H.264 by libx264): 4:2:0 in the High profile, which every browser and
// player decodes, colours tagged (see movie/yuv_conversion.h), the index at
// the front so that a web page plays it while it loads.
//
// H.264 codes 4:2:0 pictures in even sizes only, and its cropping counts in
// pairs of pixels; an odd width or height is encoded one pixel larger (the
// edge repeated) and the file announces the movie's own size.
#include <algorithm>
#include <cmath>

#include "movie/output_formats.h"
#include "movie/stream_output.h"
#include "movie/yuv_conversion.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace {

class Mp4Output : public StreamOutput {
 public:
  using StreamOutput::StreamOutput;

 protected:
  QString Describe(int width, int height, EncoderStream::Setup& setup) override {
    if (const QString why = yuv_.Prepare(width, height); !why.isEmpty()) return why;
    setup.muxer = "mp4";
    setup.encoder = "libx264";
    setup.width = yuv_.EvenWidth();
    setup.height = yuv_.EvenHeight();
    setup.shownWidth = width;
    setup.shownHeight = height;
    setup.pixelFormat = AV_PIX_FMT_YUV420P;
    const int crf = Mp4Crf(Options().quality);
    setup.configure = [crf](AVCodecContext* c, ffmpeg::Options& o) {
      c->color_primaries = AVCOL_PRI_BT709;
      c->color_trc = AVCOL_TRC_BT709;
      c->colorspace = AVCOL_SPC_SMPTE170M;
      c->color_range = AVCOL_RANGE_MPEG;
      o.Set("preset", "medium");
      o.Set("profile", "high");
      o.Set("crf", crf);
    };
    setup.configureMuxer = [](ffmpeg::Options& o) { o.Set("movflags", "+faststart"); };
    return {};
  }
  bool Fill(const QImage& picture, AVFrame* frame) override { return yuv_.Convert(picture, frame); }

 private:
  YuvConversion yuv_;
};

}  // namespace

int Mp4Crf(int quality) {
  // One step finer than libx264's own default (23), which only matches the
  // ffmpeg program's default encode: this is at least as good, for a few
  // percent more bytes.
  if (quality < 0) return 22;
  // 100 -> 1 (CRF 0 would be the lossless profile, which browsers refuse), 0 -> 51.
  return std::clamp(int(std::lround(51.0 - quality * 0.5)), 1, 51);
}

FrameOutputPtr MakeMp4Output(const QString& path, const FrameOutputOptions& options) {
  return std::make_unique<Mp4Output>(path, options);
}
