// Writing QuickTime movies with FFmpeg's mov muxer.
//
// The data goes to a hidden file beside the target (".name.partial-XXXXXX"),
// written through our own AVIOContext on a plain file descriptor so every
// write error is seen where it happens. When the last owner of the
// MovieWriter (the movie or its track) is released, the trailer is written
// and the hidden file is renamed over the target. A movie that failed at any
// point leaves no file behind.
//
// "raw " frames bypass the encoder: the picture is converted straight into a
// reusable packet buffer whose rows are padded to an even number of bytes,
// which is what QuickTime expects and what the muxer would otherwise copy
// each frame into.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "movie/movie.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int kIoBufferSize = 1 << 20;

QString AvErrorText(int err) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(err, buf, sizeof buf);
  return QString::fromUtf8(buf);
}

// FFmpeg's informational chatter (encoder statistics, pixel format notes)
// is not for the user; errors still reach the log.
void QuietLog() {
  static const bool once = [] {
    if (av_log_get_level() > AV_LOG_ERROR) av_log_set_level(AV_LOG_ERROR);
    return true;
  }();
  (void)once;
}

// The software H.264 encoders we know how to drive, best first.
const AVCodec* FindH264Encoder() {
  static const AVCodec* found = [] {
    for (const char* name : {"libx264", "libopenh264"}) {
      const AVCodec* codec = avcodec_find_encoder_by_name(name);
      if (!codec) continue;
      // Make sure it really opens here (some builds list encoders that need hardware or a
      // library that is missing at run time).
      AVCodecContext* ctx = avcodec_alloc_context3(codec);
      if (!ctx) continue;
      ctx->width = 16;
      ctx->height = 16;
      ctx->pix_fmt = AV_PIX_FMT_YUV420P;
      ctx->time_base = {1, 8};
      int ret = avcodec_open2(ctx, codec, nullptr);
      avcodec_free_context(&ctx);
      if (ret >= 0) return codec;
    }
    return static_cast<const AVCodec*>(nullptr);
  }();
  return found;
}

// Each picture's row of packed RGB (rgb24) or ARGB bytes from a Format_RGB32 row.
void PackRow24(const uint32_t* src, uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x) {
    const uint32_t p = src[x];
    dst[0] = uint8_t(p >> 16);
    dst[1] = uint8_t(p >> 8);
    dst[2] = uint8_t(p);
    dst += 3;
  }
}

void PackRow32(const uint32_t* src, uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x) {
    const uint32_t p = src[x];
    dst[0] = 0xff;  // pictures are opaque
    dst[1] = uint8_t(p >> 16);
    dst[2] = uint8_t(p >> 8);
    dst[3] = uint8_t(p);
    dst += 4;
  }
}

}  // namespace

// The settings of a track as the writer uses them.
struct TrackSettings {
  int timeScale = 600;
  QString type = "raw ";
  int depth = 24;
  double quality = 100.0;
};

class MovieWriter {
 public:
  explicit MovieWriter(const QString& path);
  ~MovieWriter();
  MovieWriter(const MovieWriter&) = delete;
  MovieWriter& operator=(const MovieWriter&) = delete;

  QString Error() const { return error_; }
  bool HasTrack() const { return hasTrack_; }
  void SetTrack(int width, int height, double frameRate);
  int Width() const { return width_; }
  int Height() const { return height_; }
  int FrameCount() const { return frames_; }
  // Remembered for a movie finished without frames (the track passes its settings on when released).
  void NoteSettings(const TrackSettings& s) {
    if (!started_) pending_ = s;
  }
  bool Append(const QImage& image, const TrackSettings& s);
  void Discard() { discarded_ = true; }

 private:
  bool Start(const TrackSettings& s, bool withoutFrames = false);
  bool OpenEncoder(const TrackSettings& s);
  bool WritePacket(AVPacket* pkt);
  bool Drain();
  bool CheckIo(const char* what, int ret);
  void Fail(const QString& why);
  void Finish();
  void FreeAll();

  static int WriteCallback(void* opaque, uint8_t* buf, int size);
  static int64_t SeekCallback(void* opaque, int64_t offset, int whence);

  QString path_, tempPath_, error_;
  int fd_ = -1;
  int ioErrno_ = 0;
  bool hasTrack_ = false, started_ = false;
  bool discarded_ = false;
  int width_ = 0, height_ = 0;
  int ticksPerFrame_ = 1;
  int frames_ = 0;
  TrackSettings pending_;

  AVFormatContext* oc_ = nullptr;
  AVIOContext* pb_ = nullptr;
  AVStream* st_ = nullptr;
  AVCodecContext* enc_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* pkt_ = nullptr;
  SwsContext* sws_ = nullptr;
  // Raw frames: packed rows of rawBytesPerPixel_, rawStride_ bytes apart.
  bool raw_ = false;
  int rawBytesPerPixel_ = 3;
  int rawStride_ = 0;
  std::vector<uint8_t> rawBuffer_;
};

MovieWriter::MovieWriter(const QString& path) : path_(QFileInfo(path).absoluteFilePath()) {
  QuietLog();
  const QFileInfo info(path_);
  const QString folder = info.absolutePath();
  // Known now rather than when the finished file could not take its place.
  if (info.isDir()) {
    Fail("a folder of that name is in the way");
    return;
  }
  // A hidden temporary file in the target's folder, so the final rename is atomic.
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    const QString suffix = QString::number(QRandomGenerator::global()->generate(), 36);
    tempPath_ = folder + "/." + info.fileName() + ".partial-" + suffix;
    fd_ = ::open(QFile::encodeName(tempPath_).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    const int err = errno;
    tempPath_.clear();
    Fail(QString("cannot create a file in the folder \"%1\": %2").arg(folder, QString::fromLocal8Bit(strerror(err))));
  }
}

MovieWriter::~MovieWriter() { Finish(); }

void MovieWriter::Fail(const QString& why) {
  if (error_.isEmpty()) error_ = QString("Could not write the movie \"%1\": %2").arg(path_, why);
}

void MovieWriter::SetTrack(int width, int height, double frameRate) {
  hasTrack_ = true;
  width_ = std::max(1, width);
  height_ = std::max(1, height);
  // At most 16384 pixels a side (the movie header keeps sizes in 16 bits) and
  // within FFmpeg's own bound on a frame's area: beyond that no encoder opens,
  // and the row arithmetic of raw frames would overflow.
  constexpr int kMaxSide = 16384;
  if (width_ > kMaxSide || height_ > kMaxSide ||
      av_image_check_size(unsigned(width_), unsigned(height_), 0, nullptr) < 0)
    Fail(QString("a frame of %1 x %2 pixels is too large for a movie").arg(width_).arg(height_));
  // frameRate counts frames per tick: 1.0 means each picture lasts one tick.
  ticksPerFrame_ = 1;
  if (std::isfinite(frameRate) && frameRate > 0 && frameRate < 1.0)
    ticksPerFrame_ = int(std::min(1e6, std::round(1.0 / frameRate)));
}

int MovieWriter::WriteCallback(void* opaque, uint8_t* buf, int size) {
  auto* self = static_cast<MovieWriter*>(opaque);
  int done = 0;
  while (done < size) {
    const ssize_t n = ::write(self->fd_, buf + done, size_t(size - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      self->ioErrno_ = errno;
      return AVERROR(errno);
    }
    if (n == 0) {
      self->ioErrno_ = ENOSPC;
      return AVERROR(ENOSPC);
    }
    done += int(n);
  }
  return size;
}

int64_t MovieWriter::SeekCallback(void* opaque, int64_t offset, int whence) {
  auto* self = static_cast<MovieWriter*>(opaque);
  if (whence == AVSEEK_SIZE) {
    struct stat sb;
    return fstat(self->fd_, &sb) == 0 ? int64_t(sb.st_size) : AVERROR(errno);
  }
  const off_t r = ::lseek(self->fd_, off_t(offset), whence & ~AVSEEK_FORCE);
  return r < 0 ? AVERROR(errno) : int64_t(r);
}

bool MovieWriter::CheckIo(const char* what, int ret) {
  if (ioErrno_ != 0) {
    Fail(QString::fromLocal8Bit(strerror(ioErrno_)));
    return false;
  }
  if (pb_ && pb_->error < 0) {
    Fail(AvErrorText(pb_->error));
    return false;
  }
  if (ret < 0) {
    Fail(QString("%1: %2").arg(what, AvErrorText(ret)));
    return false;
  }
  return true;
}

bool MovieWriter::OpenEncoder(const TrackSettings& s) {
  const QString type = s.type;
  const AVCodec* codec = nullptr;
  AVPixelFormat pixFmt = AV_PIX_FMT_RGB24;
  uint32_t tag = 0;
  if (type == "rle ") {
    codec = avcodec_find_encoder(AV_CODEC_ID_QTRLE);
    pixFmt = s.depth == 32 ? AV_PIX_FMT_ARGB : AV_PIX_FMT_RGB24;
    tag = MKTAG('r', 'l', 'e', ' ');
  } else if (type == "png ") {
    codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    tag = MKTAG('p', 'n', 'g', ' ');
  } else if (type == "jpeg") {
    codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    pixFmt = AV_PIX_FMT_YUVJ420P;
    tag = MKTAG('j', 'p', 'e', 'g');
  } else if (type == "avc1") {
    codec = FindH264Encoder();
    // 4:2:0 needs even sizes; odd-sized movies keep full chroma instead.
    pixFmt = (width_ % 2 == 0 && height_ % 2 == 0) ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_YUV444P;
    tag = MKTAG('a', 'v', 'c', '1');
  } else {
    Fail(QString("unknown compression type \"%1\"").arg(type));
    return false;
  }
  if (!codec) {
    Fail(QString("no encoder for compression type \"%1\" on this system").arg(type));
    return false;
  }
  enc_ = avcodec_alloc_context3(codec);
  if (!enc_) {
    Fail("out of memory");
    return false;
  }
  enc_->width = width_;
  enc_->height = height_;
  enc_->pix_fmt = pixFmt;
  enc_->time_base = {1, s.timeScale};
  enc_->framerate = {s.timeScale, ticksPerFrame_};
  enc_->max_b_frames = 0;  // presentation order = decode order: every frame lasts exactly its tick
  if (oc_->oformat->flags & AVFMT_GLOBALHEADER) enc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const double q = std::clamp(s.quality, 0.0, 100.0);
  AVDictionary* opts = nullptr;
  if (type == "jpeg") {
    // Quality 100 -> qscale 1 (best), 0 -> 31 (worst).
    const int qscale = 1 + int(std::lround((100.0 - q) * 30.0 / 100.0));
    enc_->flags |= AV_CODEC_FLAG_QSCALE;
    enc_->global_quality = FF_QP2LAMBDA * qscale;
    enc_->qmin = 1;
    enc_->qmax = 31;
    enc_->color_range = AVCOL_RANGE_JPEG;
  } else if (type == "avc1") {
    // Quality 100 -> CRF 12 (visually lossless), 0 -> CRF 45.
    const int crf = int(std::lround(45.0 - q * 0.33));
    av_dict_set_int(&opts, "crf", crf, 0);
    av_dict_set(&opts, "preset", "medium", 0);
    enc_->gop_size = int(std::clamp<int64_t>(int64_t(4) * s.timeScale / ticksPerFrame_, 1, 10000));
  }
  const int ret = avcodec_open2(enc_, codec, &opts);
  av_dict_free(&opts);
  if (ret < 0) {
    Fail(QString("cannot open the %1 encoder: %2").arg(codec->name, AvErrorText(ret)));
    return false;
  }
  if (avcodec_parameters_from_context(st_->codecpar, enc_) < 0) {
    Fail("cannot set up the video track");
    return false;
  }
  st_->codecpar->codec_tag = tag;
  frame_ = av_frame_alloc();
  if (!frame_) {
    Fail("out of memory");
    return false;
  }
  frame_->format = pixFmt;
  frame_->width = width_;
  frame_->height = height_;
  if (av_frame_get_buffer(frame_, 0) < 0) {
    Fail("out of memory");
    return false;
  }
  sws_ = sws_getContext(width_, height_, AV_PIX_FMT_BGRA, width_, height_, pixFmt,
                        SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
  if (!sws_) {
    Fail("cannot set up the pixel conversion");
    return false;
  }
  return true;
}

bool MovieWriter::Start(const TrackSettings& s, bool withoutFrames) {
  started_ = true;
  if (!error_.isEmpty()) return false;
  if (s.timeScale < 1) {
    Fail(QString("invalid time scale %1").arg(s.timeScale));
    return false;
  }
  if (!hasTrack_) SetTrack(1, 1, 1.0);  // a movie without a track still needs one to be a movie
  int ret = avformat_alloc_output_context2(&oc_, nullptr, "mov", nullptr);
  if (ret < 0 || !oc_) return CheckIo("cannot create the movie", ret < 0 ? ret : AVERROR(ENOMEM));
  auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
  pb_ = buffer ? avio_alloc_context(buffer, kIoBufferSize, 1, this, nullptr, &WriteCallback, &SeekCallback)
               : nullptr;
  if (!pb_) {
    av_free(buffer);
    Fail("out of memory");
    return false;
  }
  pb_->direct = 1;  // large packets go straight to write(), without a copy through the buffer
  oc_->pb = pb_;
  oc_->flags |= AVFMT_FLAG_CUSTOM_IO;
  st_ = avformat_new_stream(oc_, nullptr);
  if (!st_) {
    Fail("out of memory");
    return false;
  }
  st_->time_base = {1, s.timeScale};
  st_->avg_frame_rate = {s.timeScale, ticksPerFrame_};

  raw_ = s.type == "raw ";
  if (raw_) {
    rawBytesPerPixel_ = s.depth == 32 ? 4 : 3;
    rawStride_ = (width_ * rawBytesPerPixel_ + 1) & ~1;  // QuickTime rows are 16-bit aligned
    AVCodecParameters* par = st_->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_RAWVIDEO;
    par->codec_tag = MKTAG('r', 'a', 'w', ' ');
    par->format = rawBytesPerPixel_ == 4 ? AV_PIX_FMT_ARGB : AV_PIX_FMT_RGB24;
    par->bits_per_coded_sample = rawBytesPerPixel_ * 8;
    par->width = width_;
    par->height = height_;
    try {
      rawBuffer_.assign(size_t(rawStride_) * size_t(height_), 0);
    } catch (const std::bad_alloc&) {
      Fail("out of memory");
      return false;
    }
  } else if (!OpenEncoder(s)) {
    return false;
  }
  pkt_ = av_packet_alloc();
  if (!pkt_) {
    Fail("out of memory");
    return false;
  }
  AVDictionary* opts = nullptr;
  // Without this the muxer picks a finer time scale than the one asked for.
  av_dict_set_int(&opts, "video_track_timescale", s.timeScale, 0);
  // The muxer leaves out tracks without samples, and a file without a video
  // track is no movie. Written up front (as for a fragmented movie), the
  // track is kept, with its size and time scale.
  if (withoutFrames) av_dict_set(&opts, "movflags", "empty_moov", 0);
  ret = avformat_write_header(oc_, &opts);
  av_dict_free(&opts);
  return CheckIo("cannot write the movie header", ret);
}

bool MovieWriter::WritePacket(AVPacket* pkt) {
  pkt->stream_index = st_->index;
  if (enc_) av_packet_rescale_ts(pkt, enc_->time_base, st_->time_base);
  if (pkt->duration <= 0) pkt->duration = av_rescale_q(ticksPerFrame_, enc_ ? enc_->time_base : st_->time_base,
                                                       st_->time_base);
  const int ret = av_write_frame(oc_, pkt);
  return CheckIo("cannot write a frame", ret);
}

// Takes every packet the encoder has ready.
bool MovieWriter::Drain() {
  for (;;) {
    int ret = avcodec_receive_packet(enc_, pkt_);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
    if (ret < 0) return CheckIo("cannot compress a frame", ret);
    const bool ok = WritePacket(pkt_);
    av_packet_unref(pkt_);
    if (!ok) return false;
  }
}

bool MovieWriter::Append(const QImage& picture, const TrackSettings& s) {
  if (!error_.isEmpty()) return false;
  if (!started_ && !Start(s)) return false;
  if (!oc_) return false;
  if (picture.isNull()) {
    Fail("the picture is empty");
    return false;
  }
  QImage image = picture;
  if (image.width() != width_ || image.height() != height_)
    image = image.scaled(width_, height_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
    image = image.convertToFormat(QImage::Format_RGB32);
  const int64_t pts = int64_t(frames_) * ticksPerFrame_;

  if (raw_) {
    uint8_t* out = rawBuffer_.data();
    for (int y = 0; y < height_; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
      uint8_t* dst = out + size_t(y) * size_t(rawStride_);
      if (rawBytesPerPixel_ == 3)
        PackRow24(row, dst, width_);
      else
        PackRow32(row, dst, width_);
    }
    av_packet_unref(pkt_);
    pkt_->data = out;
    pkt_->size = int(rawBuffer_.size());
    pkt_->pts = pkt_->dts = pts;
    pkt_->duration = ticksPerFrame_;
    pkt_->flags |= AV_PKT_FLAG_KEY;
    const bool ok = WritePacket(pkt_);
    pkt_->data = nullptr;
    pkt_->size = 0;
    if (!ok) return false;
  } else {
    if (av_frame_make_writable(frame_) < 0) {
      Fail("out of memory");
      return false;
    }
    const uint8_t* src[4] = {image.constBits(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(sws_, src, srcStride, 0, height_, frame_->data, frame_->linesize);
    frame_->pts = pts;
    if (enc_->flags & AV_CODEC_FLAG_QSCALE) frame_->quality = enc_->global_quality;
    const int ret = avcodec_send_frame(enc_, frame_);
    if (!CheckIo("cannot compress a frame", ret) || !Drain()) return false;
  }
  ++frames_;
  return true;
}

void MovieWriter::Finish() {
  if (discarded_) {
    FreeAll();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!tempPath_.isEmpty()) ::unlink(QFile::encodeName(tempPath_).constData());
    return;
  }
  if (!started_ && error_.isEmpty()) Start(pending_, true);
  if (error_.isEmpty() && oc_) {
    if (enc_) {
      const int ret = avcodec_send_frame(enc_, nullptr);
      if (CheckIo("cannot compress a frame", ret)) Drain();
    }
    if (error_.isEmpty()) CheckIo("cannot finish the movie", av_write_trailer(oc_));
    if (error_.isEmpty()) {
      avio_flush(pb_);
      CheckIo("cannot finish the movie", 0);
    }
  }
  FreeAll();
  if (fd_ >= 0) {
    if (::close(fd_) != 0 && error_.isEmpty()) Fail(QString::fromLocal8Bit(strerror(errno)));
    fd_ = -1;
  }
  if (tempPath_.isEmpty()) return;
  const QByteArray temp = QFile::encodeName(tempPath_);
  if (error_.isEmpty() && ::rename(temp.constData(), QFile::encodeName(path_).constData()) != 0)
    Fail(QString::fromLocal8Bit(strerror(errno)));
  if (!error_.isEmpty()) {
    ::unlink(temp.constData());
    qWarning("%s", qPrintable(error_));
  }
}

void MovieWriter::FreeAll() {
  if (pkt_) {
    pkt_->data = nullptr;  // never the raw buffer's bytes
    pkt_->size = 0;
    av_packet_free(&pkt_);
  }
  av_frame_free(&frame_);
  avcodec_free_context(&enc_);
  sws_freeContext(sws_);
  sws_ = nullptr;
  if (oc_) {
    oc_->pb = nullptr;
    avformat_free_context(oc_);
    oc_ = nullptr;
  }
  if (pb_) {
    av_freep(&pb_->buffer);
    avio_context_free(&pb_);
  }
  rawBuffer_ = {};
}

// ---------------------------------------------------------------------------

QTVideoTrack::QTVideoTrack(std::shared_ptr<MovieWriter> writer) : writer_(std::move(writer)) {}

QTVideoTrack::~QTVideoTrack() {
  // A movie finished without frames still takes this track's settings.
  writer_->NoteSettings({TimeScale, CompressionType, Depth, CompressionQuality});
}

int QTVideoTrack::Width() const { return writer_->Width(); }
int QTVideoTrack::Height() const { return writer_->Height(); }
int QTVideoTrack::FrameCount() const { return writer_->FrameCount(); }
QString QTVideoTrack::Error() const { return writer_->Error(); }

bool QTVideoTrack::AppendPicture(const Picture& picture) {
  return writer_->Append(picture.image(), {TimeScale, CompressionType, Depth, CompressionQuality});
}

EditableMovie::EditableMovie(std::shared_ptr<MovieWriter> writer) : writer_(std::move(writer)) {}
EditableMovie::~EditableMovie() = default;

QString EditableMovie::Error() const { return writer_->Error(); }

void EditableMovie::Discard() { writer_->Discard(); }

std::shared_ptr<QTVideoTrack> EditableMovie::NewVideoTrack(int width, int height, double frameRate) {
  if (writer_->HasTrack()) return nullptr;  // one video track per movie
  writer_->SetTrack(width, height, frameRate);
  return std::make_shared<QTVideoTrack>(writer_);
}

EditableMoviePtr CreateMovieAt(const QString& path) {
  return std::make_shared<EditableMovie>(std::make_shared<MovieWriter>(path));
}

QList<CodecChoice> AvailableCodecs() {
  QuietLog();
  QList<CodecChoice> list;
  list.append({"raw ", "None", true, true});
  if (avcodec_find_encoder(AV_CODEC_ID_QTRLE)) list.append({"rle ", "Animation", true, true});
  if (avcodec_find_encoder(AV_CODEC_ID_PNG)) list.append({"png ", "PNG", true, false});
  if (avcodec_find_encoder(AV_CODEC_ID_MJPEG)) list.append({"jpeg", "Photo - JPEG", false, false});
  if (FindH264Encoder()) list.append({"avc1", "H.264", false, false});
  return list;
}
