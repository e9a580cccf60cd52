// Animated WebP (libwebp's animation encoder). A frame of few colours (at
// most 256, as drawings over a colour background are) is stored losslessly,
// where lossless WebP is both exact and the smaller; pictures and
// gradients are stored lossy at the quality asked for, unless lossless is
// asked for. Once one frame is lossy the rest are too: the movie is no
// longer exact, and lossy frames stay small. Loops forever unless told to
// play once. The encoder keeps the frames compressed, and the file is written
// when the animation is assembled at the end.
#include <cerrno>
#include <cmath>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "movie/movie_file.h"
#include "movie/output_formats.h"

#include <webp/encode.h>
#include <webp/mux.h>

namespace {

constexpr int kDefaultLossyQuality = 75;
constexpr int kMaxWebpSide = WEBP_MAX_DIMENSION;

// Whether a picture holds at most 256 colours.
bool FewColours(const QImage& picture) {
  // An open-addressed set of 512 slots holds the 257 colours it may meet.
  constexpr uint32_t kSlots = 512;
  uint32_t slot[kSlots];
  bool used[kSlots] = {};
  int count = 0;
  uint32_t last = 0;
  bool any = false;
  for (int y = 0; y < picture.height(); ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(picture.constScanLine(y));
    for (int x = 0; x < picture.width(); ++x) {
      const uint32_t c = row[x] | 0xff000000u;
      if (any && c == last) continue;  // runs of one colour are the common case
      any = true;
      last = c;
      uint32_t i = (c * 2654435761u) >> 23;
      while (used[i] && slot[i] != c) i = (i + 1) & (kSlots - 1);
      if (used[i]) continue;
      if (++count > 256) return false;
      used[i] = true;
      slot[i] = c;
    }
  }
  return true;
}

class WebpOutput : public FrameOutput {
 public:
  WebpOutput(const QString& path, const FrameOutputOptions& options) : path_(path), options_(options) {}
  ~WebpOutput() override { Release(); }

  QString Begin(int width, int height, int timeScale, int ticksPerFrame) override {
    if (!error_.isEmpty()) return error_;
    if (encoder_ || finished_) return Fail("it was begun twice");
    if (width < 1 || height < 1 || width > kMaxWebpSide || height > kMaxWebpSide)
      return Fail(QString("a frame of %1 x %2 pixels is too large for WebP (at most %3 a side)")
                      .arg(width)
                      .arg(height)
                      .arg(kMaxWebpSide));
    if (timeScale < 1 || ticksPerFrame < 1) return Fail("its frames would have no duration");
    width_ = width;
    height_ = height;
    msPerTick_ = 1000.0 / timeScale;
    ticksPerFrame_ = ticksPerFrame;
    if (const QString why = file_.Open(path_); !why.isEmpty()) return Fail(why + " (no file could be made in its folder)");
    WebPAnimEncoderOptions settings;
    if (!WebPAnimEncoderOptionsInit(&settings)) return Fail("the WebP library does not match");
    settings.anim_params.loop_count = options_.loopForever ? 0 : 1;
    settings.anim_params.bgcolor = 0xffffffff;
    encoder_ = WebPAnimEncoderNew(width, height, &settings);
    if (!encoder_) return Fail("out of memory");
    return {};
  }

  QString AddFrame(const QImage& frame) override {
    if (!error_.isEmpty()) return error_;
    if (!encoder_) return Fail(finished_ ? "it was already finished" : "a frame came before the beginning");
    QImage picture = frame;
    if (picture.width() != width_ || picture.height() != height_)
      return Fail(QString("frame %1 is not %2 x %3 pixels").arg(frames_ + 1).arg(width_).arg(height_));
    if (picture.format() != QImage::Format_RGB32 && picture.format() != QImage::Format_ARGB32)
      picture = picture.convertToFormat(QImage::Format_RGB32);
    if (lossless_ && !options_.lossless && !FewColours(picture)) lossless_ = false;
    WebPConfig config;
    if (!WebPConfigInit(&config)) return Fail("the WebP library does not match");
    config.lossless = lossless_ ? 1 : 0;
    config.quality = lossless_ ? 75.f : float(options_.quality >= 0 ? options_.quality : kDefaultLossyQuality);
    config.method = 4;
    config.thread_level = 1;
    if (!WebPValidateConfig(&config)) return Fail("the WebP settings were refused");
    WebPPicture pic;
    if (!WebPPictureInit(&pic)) return Fail("the WebP library does not match");
    pic.use_argb = 1;
    pic.width = width_;
    pic.height = height_;
    // Qt keeps a pixel as the bytes B, G, R, A (or unused) in memory.
    const int imported = WebPPictureImportBGRX(&pic, picture.constBits(), int(picture.bytesPerLine()));
    const int added = imported && WebPAnimEncoderAdd(encoder_, &pic, Timestamp(frames_), &config);
    WebPPictureFree(&pic);
    if (!added)
      return Fail(QString("%1 (frame %2)")
                      .arg(imported ? QString::fromUtf8(WebPAnimEncoderGetError(encoder_)) : "out of memory")
                      .arg(frames_ + 1));
    ++frames_;
    return {};
  }

  QString Finish() override {
    if (!error_.isEmpty() || finished_) return error_;
    if (!encoder_) return Fail("it was never begun");
    if (frames_ == 0) return Fail("it has no frames");
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAdd(encoder_, nullptr, Timestamp(frames_), nullptr) ||
        !WebPAnimEncoderAssemble(encoder_, &data)) {
      WebPDataClear(&data);
      return Fail(QString::fromUtf8(WebPAnimEncoderGetError(encoder_)) + " (finishing it)");
    }
    const QString written = WriteAll(data.bytes, data.size);
    WebPDataClear(&data);
    if (!written.isEmpty()) return Fail(written + " (writing it)");
    if (const QString why = file_.Commit(); !why.isEmpty())
      return Fail(why + " (the finished file could not take its name)");
    finished_ = true;
    Release();
    return {};
  }

  void Abandon() override {
    if (error_.isEmpty()) error_ = "it was not kept";
    Release();
  }

 private:
  int Timestamp(int frame) const { return int(std::lround(double(frame) * ticksPerFrame_ * msPerTick_)); }

  QString WriteAll(const uint8_t* bytes, size_t size) {
    const int fd = file_.Descriptor();
    for (size_t done = 0; done < size;) {
      const ssize_t n = ::write(fd, bytes + done, size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return QString::fromLocal8Bit(strerror(n < 0 ? errno : ENOSPC));
      done += size_t(n);
    }
    return {};
  }

  QString Fail(const QString& why) {
    if (error_.isEmpty()) error_ = why;
    Release();
    return error_;
  }

  void Release() {
    if (encoder_) WebPAnimEncoderDelete(encoder_);
    encoder_ = nullptr;
    file_.Discard();
  }

  const QString path_;
  const FrameOutputOptions options_;
  MovieOutputFile file_;
  WebPAnimEncoder* encoder_ = nullptr;
  int width_ = 0, height_ = 0, frames_ = 0, ticksPerFrame_ = 1;
  double msPerTick_ = 125;
  bool lossless_ = true, finished_ = false;
  QString error_;
};

}  // namespace

FrameOutputPtr MakeWebpOutput(const QString& path, const FrameOutputOptions& options) {
  return std::make_unique<WebpOutput>(path, options);
}
