#include "movie/yuv_conversion.h"

#include <algorithm>
#include <cstring>
#include <thread>

extern "C" {
#include <libavutil/opt.h>
}

using namespace ffmpeg;

QString YuvConversion::Prepare(int width, int height) {
  width_ = width;
  height_ = height;
  evenWidth_ = width + (width & 1);
  evenHeight_ = height + (height & 1);
  sws_.reset(sws_alloc_context());
  if (!sws_) return "out of memory";
  SwsContext* c = sws_.get();
  av_opt_set_int(c, "srcw", evenWidth_, 0);
  av_opt_set_int(c, "srch", evenHeight_, 0);
  av_opt_set_int(c, "src_format", kPictureFormat, 0);
  av_opt_set_int(c, "dstw", evenWidth_, 0);
  av_opt_set_int(c, "dsth", evenHeight_, 0);
  av_opt_set_int(c, "dst_format", AV_PIX_FMT_YUV420P, 0);
  av_opt_set_int(c, "sws_flags", SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, 0);
  av_opt_set_int(c, "threads", std::max(1, int(std::thread::hardware_concurrency())), 0);
  if (sws_init_context(c, nullptr, nullptr) < 0) return "the colour conversion could not be set up";
  // Full-range RGB in, BT.601 limited-range YUV out.
  const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
  if (sws_setColorspaceDetails(c, bt601, 1, bt601, 0, 0, 1 << 16, 1 << 16) < 0)
    return "the colour conversion could not be set up";
  if (evenWidth_ != width_ || evenHeight_ != height_) {
    grown_ = QImage(evenWidth_, evenHeight_, QImage::Format_RGB32);
    if (grown_.isNull()) return "out of memory";
  }
  return {};
}

bool YuvConversion::Convert(const QImage& picture, AVFrame* frame) {
  const QImage* source = &picture;
  if (!grown_.isNull()) {
    const size_t rowBytes = size_t(width_) * 4;
    for (int y = 0; y < evenHeight_; ++y) {
      const uchar* from = picture.constScanLine(std::min(y, height_ - 1));
      auto* to = reinterpret_cast<uint32_t*>(grown_.scanLine(y));
      std::memcpy(to, from, rowBytes);
      if (evenWidth_ != width_) to[width_] = to[width_ - 1];
    }
    source = &grown_;
  }
  const uint8_t* src[4] = {source->constBits(), nullptr, nullptr, nullptr};
  const int srcStride[4] = {int(source->bytesPerLine()), 0, 0, 0};
  return sws_scale(sws_.get(), src, srcStride, 0, evenHeight_, frame->data, frame->linesize) == evenHeight_;
}
