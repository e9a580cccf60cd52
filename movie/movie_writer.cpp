// Writing QuickTime movies with FFmpeg's mov muxer.
//
// The data goes to a MovieOutputFile (an unnamed file in the target's folder,
// or a hidden one where the filesystem cannot), written through our own
// AVIOContext on its descriptor so every write error is seen where it
// happens. The movie is finished - trailer written, file given its name -
// by Finish(), which the release of the movie's last owner calls when nobody
// did. A movie that failed at any point leaves no file behind.
//
// Appending a picture converts it, on the caller's thread, into a frame
// buffer of the track's layout; a writer thread of the movie's own then
// compresses and writes it, while the caller goes on drawing the next frame.
// A small fixed number of buffers circulates between the two, so the memory
// a movie takes does not grow with its length, and the caller waits only
// when the writer is that many frames behind. A failure in the writer is
// reported by the next append (and by Finish()).
//
// Small frames are not worth a hand-over: waking the writer thread and being
// told it is done costs more than compressing and writing a frame of a few
// kilobytes. A movie whose frames are that small is written on the caller's
// thread instead, and its bytes gather in the I/O buffer until it is full,
// rather than going to the file packet by packet. Either way the file holds
// the same bytes.
//
// "raw " frames bypass the encoder: the picture is packed straight into a
// buffer whose rows are padded to an even number of bytes, which is what
// QuickTime expects and what the muxer would otherwise copy each frame into.
// A raw frame is handed to the writer thread before it is packed, and an idle
// writer writes its rows band by band as the caller packs them, so even the
// first frame's writing overlaps its packing.
// The other codecs get frames from a pool, so a frame the encoder still holds
// (the Animation codec keeps the previous one to compare with; threaded
// encoders keep several) is never copied or written over.
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

#include "movie/ffmpeg_util.h"
#include "movie/movie.h"
#include "movie/movie_file.h"
#include "movie/pixel_pack.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

using namespace ffmpeg;

namespace {

constexpr int kIoBufferSize = 1 << 20;
// Frames of fewer bytes than this (as written raw, or as handed to the
// encoder) are written on the caller's thread.
constexpr size_t kThreadedFrameBytes = 64 << 10;
// Frames converted but not yet taken by the writer thread. Two keep the
// writer busy while the caller converts the next; more would only cost memory.
constexpr size_t kQueueDepth = 2;
// Uncompressed frames are packed, and written, in bands of about this many bytes.
constexpr int kRawBandBytes = 256 << 10;
constexpr size_t kPageBytes = 4096;

// The software H.264 encoders we know how to drive, best first.
const AVCodec* FindH264Encoder() {
  static const AVCodec* found = [] {
    for (const char* name : {"libx264", "libopenh264"}) {
      const AVCodec* codec = avcodec_find_encoder_by_name(name);
      if (!codec) continue;
      // Make sure it really opens here (some builds list encoders that need hardware or a
      // library that is missing at run time).
      CodecContextPtr ctx(avcodec_alloc_context3(codec));
      if (!ctx) continue;
      ctx->width = 16;
      ctx->height = 16;
      ctx->pix_fmt = AV_PIX_FMT_YUV420P;
      ctx->time_base = {1, 8};
      if (avcodec_open2(ctx.get(), codec, nullptr) >= 0) return codec;
    }
    return static_cast<const AVCodec*>(nullptr);
  }();
  return found;
}

int MachineThreads() { return std::max(1, int(std::thread::hardware_concurrency())); }

// A colour conversion from pictures of the given size to the encoder's pixel format.
SwsPtr MakeConversion(int width, int height, AVPixelFormat pixFmt, int threads) {
  SwsPtr sws(sws_alloc_context());
  if (!sws) return nullptr;
  SwsContext* c = sws.get();
  av_opt_set_int(c, "srcw", width, 0);
  av_opt_set_int(c, "srch", height, 0);
  av_opt_set_int(c, "src_format", kPictureFormat, 0);
  av_opt_set_int(c, "dstw", width, 0);
  av_opt_set_int(c, "dsth", height, 0);
  av_opt_set_int(c, "dst_format", pixFmt, 0);
  av_opt_set_int(c, "sws_flags", SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, 0);
  av_opt_set_int(c, "threads", threads, 0);
  if (sws_init_context(c, nullptr, nullptr) < 0) return nullptr;
  return sws;
}

// An AVBufferRef over a picture's pixels that never frees them: the picture
// outlives every use, and FFmpeg then takes a reference instead of a copy.
AVBufferRef* BorrowPixels(const uint8_t* pixels, size_t bytes) {
  return av_buffer_create(const_cast<uint8_t*>(pixels), bytes,
                          [](void*, uint8_t*) {}, nullptr, AV_BUFFER_FLAG_READONLY);
}

}  // namespace

// The settings of a track as the writer uses them.
struct TrackSettings {
  int timeScale = 600;
  QString type = "raw ";
  int depth = 24;
  double quality = 100.0;
};

namespace {
TrackSettings SettingsOf(const QTVideoTrack& t) {
  return {t.TimeScale, t.CompressionType, t.Depth, t.CompressionQuality};
}
}  // namespace

class MovieWriter {
 public:
  explicit MovieWriter(const QString& path);
  // A movie whose frames go to another format's output instead of a
  // QuickTime file.
  MovieWriter(FrameOutputPtr output, const QString& path);
  ~MovieWriter();
  MovieWriter(const MovieWriter&) = delete;
  MovieWriter& operator=(const MovieWriter&) = delete;

  QString Error() const {
    std::lock_guard lock(mutex_);
    return error_;
  }
  bool HasTrack() const { return hasTrack_; }
  void SetTrack(int width, int height, double frameRate);
  int Width() const { return width_; }
  int Height() const { return height_; }
  int FrameCount() const { return frames_; }
  // The track whose settings a movie finished without frames takes (null once it is released).
  void AttachTrack(const QTVideoTrack* track) { track_ = track; }
  void DetachTrack(const QTVideoTrack& track) {
    if (!started_) pending_ = SettingsOf(track);
    track_ = nullptr;
  }
  // readable: how many bytes from image.constBits() may be read (the
  // picture's tail room included).
  bool Append(const QImage& image, qsizetype readable, const TrackSettings& s);
  QString Finish();
  // Ends the movie without keeping it: what was written goes, no file is named.
  void Discard() {
    if (finished_) return;
    Fail("it was not kept");
    Finish();
  }

 private:
  // The packed rows of an uncompressed frame, filled by the caller while
  // the writer thread writes the rows already done.
  struct RawFrame {
    std::unique_ptr<uint8_t[]> storage;
    uint8_t* bytes = nullptr;  // within storage, placed as the frame will lie in the file
    size_t size = 0;
    std::atomic<int> rowsReady{0};
  };
  // One converted frame on its way to the writer thread.
  struct Job {
    int64_t pts = 0;
    int number = 0;       // 1-based, for messages
    FramePtr frame;       // for an encoder
    RawFrame* raw = nullptr;  // for "raw "
  };

  bool Failed() const {
    std::lock_guard lock(mutex_);
    return !error_.isEmpty();
  }
  bool Start(const TrackSettings& s, bool withoutFrames = false);
  bool StartWriter();
  bool OpenEncoder(const TrackSettings& s);
  bool MakeFrame(const QImage& image, qsizetype readable, FramePtr* out);
  bool OpenLastChromaColumn(AVPixelFormat pixFmt);
  bool RedoLastChromaColumn(const QImage& image, AVFrame* frame);
  bool WriteFrame(Job& job);
  bool WritePacket(AVPacket* pkt, const QString& where);
  bool Drain(const QString& where);
  bool CheckIo(const QString& where, int ret);
  void PackRaw(const QImage& image, RawFrame& raw, int fromRow, int toRow) const;
  bool AppendHere(const QImage& image, qsizetype readable, Job& job);
  // Records the first failure: the reason (the system's or FFmpeg's words
  // where they exist) and, when it helps, where in the movie it happened.
  void Fail(const QString& reason, const QString& where = {});
  void WriterLoop();
  void StopWriter();
  RawFrame* TakeRawFrame(int frameIndex);
  bool WriteFully(const uint8_t* buf, int size);  // false with ioErrno_ set

  static int WriteCallback(void* opaque, uint8_t* buf, int size);
  static int64_t SeekCallback(void* opaque, int64_t offset, int whence);

  bool AppendToOutput(const QImage& image, const TrackSettings& s);
  QString FinishOutput();

  const QString path_;
  FrameOutputPtr output_;  // the other format's output, when there is one
  MovieOutputFile file_;
  int fd_ = -1;
  int ioErrno_ = 0;
  bool hasTrack_ = false, started_ = false, finished_ = false;
  int width_ = 0, height_ = 0;
  int ticksPerFrame_ = 1;
  int frames_ = 0;
  QString finishError_;  // what Finish() found, for every later call
  const QTVideoTrack* track_ = nullptr;
  TrackSettings pending_;

  // Owned in this order so that the encoder (which may hold pool buffers)
  // goes before the pool, and the muxer before its I/O.
  IoContextPtr pb_;
  OutputContextPtr oc_;
  AVStream* st_ = nullptr;  // owned by oc_
  BufferPoolPtr pool_;
  CodecContextPtr enc_;
  PacketPtr pkt_;
  SwsPtr sws_;
  // Odd widths with chroma for pairs of pixels: the last column of chroma,
  // converted again from a strip of two pixels a row (see RedoLastChromaColumn).
  SwsPtr edgeSws_;
  FramePtr edgeIn_, edgeOut_;
  // A picture without the tail room the conversion reads is copied here
  // first (only a picture not made by NewPicture, such as one scaled here).
  std::vector<uint8_t> roomyCopy_;
  AVPixelFormat pixFmt_ = AV_PIX_FMT_NONE;
  int frameQuality_ = 0;
  int linesize_[4] = {};
  size_t planeOffset_[4] = {};
  size_t encoderFrameBytes_ = 0;  // all planes of one frame as the encoder takes it
  // Raw frames: packed rows of rawBytesPerPixel_, rawStride_ bytes apart.
  bool raw_ = false;
  int rawBytesPerPixel_ = 3;
  int rawStride_ = 0;
  bool rawPadding_ = false;
  uint64_t rawDataStart_ = 0;  // where the first frame's bytes go in the file
  std::vector<std::unique_ptr<RawFrame>> rawFrames_;  // every one made, reused
  RawFrame* writing_ = nullptr;  // the raw frame the writer thread is writing
  bool threaded_ = false;  // frames go to the writer thread (else written by Append itself)
  RawFrame hereRaw_;       // the one raw frame of a movie written on the caller's thread

  // Shared with the writer thread.
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> queue_;                // converted, waiting for the writer
  std::vector<RawFrame*> spareRaw_;      // raw frames the writer is done with
  bool stopping_ = false;
  QString error_;
  std::thread writer_;
};

MovieWriter::MovieWriter(const QString& path) : path_(QFileInfo(path).absoluteFilePath()) {
  (void)LogLevelSet();
  // Known now rather than when the finished file could not take its place.
  if (QFileInfo(path_).isDir()) {
    Fail("a folder of that name is in the way");
    return;
  }
  const QString why = file_.Open(path_);
  if (!why.isEmpty()) Fail(why, "no file could be made in its folder");
  fd_ = file_.Descriptor();
}

MovieWriter::MovieWriter(FrameOutputPtr output, const QString& path)
    : path_(QFileInfo(path).absoluteFilePath()), output_(std::move(output)) {
  (void)LogLevelSet();
  if (!output_) Fail("this format cannot be written here");
}

MovieWriter::~MovieWriter() {
  if (finished_) return;  // whoever finished it had the answer
  const QString error = Finish();
  // Nobody asked how the movie ended, so at least the log hears of a failure.
  if (!error.isEmpty()) qWarning("%s", qPrintable(error));
}

void MovieWriter::Fail(const QString& reason, const QString& where) {
  std::lock_guard lock(mutex_);
  // The reason comes first and the path once, last: a narrow log field shows
  // the beginning of a message, and the reason is what the user can act on.
  if (error_.isEmpty())
    error_ = "Movie not written: " + reason + (where.isEmpty() ? QString() : " (" + where + ")") + " - " + path_;
  changed_.notify_all();
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
  RawFrame* raw = self->writing_;
  if (raw && buf >= raw->bytes && buf < raw->bytes + raw->size) {
    // A raw frame's rows, written as soon as the caller has packed them.
    const size_t stride = size_t(self->rawStride_);
    size_t offset = size_t(buf - raw->bytes);
    const size_t end = offset + size_t(size);
    while (offset < end) {
      int rows = raw->rowsReady.load(std::memory_order_acquire);
      while (size_t(rows) * stride <= offset) {
        raw->rowsReady.wait(rows, std::memory_order_acquire);
        rows = raw->rowsReady.load(std::memory_order_acquire);
      }
      const size_t ready = std::min(end, size_t(rows) * stride);
      if (!self->WriteFully(raw->bytes + offset, int(ready - offset))) return AVERROR(self->ioErrno_);
      offset = ready;
    }
    return size;
  }
  return self->WriteFully(buf, size) ? size : AVERROR(self->ioErrno_);
}

bool MovieWriter::WriteFully(const uint8_t* buf, int size) {
  int done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd_, buf + done, size_t(size - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      ioErrno_ = errno;
      return false;
    }
    if (n == 0) {
      ioErrno_ = ENOSPC;
      return false;
    }
    done += int(n);
  }
  return true;
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

bool MovieWriter::CheckIo(const QString& where, int ret) {
  QString why;
  if (ioErrno_ != 0)
    why = QString::fromLocal8Bit(strerror(ioErrno_));
  else if (pb_ && pb_->error < 0)
    why = ErrorText(pb_->error);
  else if (ret < 0)
    why = ErrorText(ret);
  if (why.isEmpty()) return true;
  Fail(why, where);
  return false;
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
  enc_.reset(avcodec_alloc_context3(codec));
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
  // Every encoder that can spread its work over the machine's cores does so
  // (0 lets each pick its own count, as the ffmpeg tool does).
  enc_->thread_count = 0;
  if (oc_->oformat->flags & AVFMT_GLOBALHEADER) enc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const double q = std::clamp(s.quality, 0.0, 100.0);
  Options opts;
  if (type == "jpeg") {
    // Quality 100 -> qscale 1 (best), 0 -> 31 (worst).
    const int qscale = 1 + int(std::lround((100.0 - q) * 30.0 / 100.0));
    enc_->flags |= AV_CODEC_FLAG_QSCALE;
    enc_->global_quality = FF_QP2LAMBDA * qscale;
    frameQuality_ = enc_->global_quality;  // each frame asks for it
    enc_->qmin = 1;
    enc_->qmax = 31;
    enc_->color_range = AVCOL_RANGE_JPEG;
  } else if (type == "avc1") {
    // Quality 100 -> CRF 12 (visually lossless), 0 -> CRF 45.
    const int crf = int(std::lround(45.0 - q * 0.33));
    opts.Set("crf", crf);
    opts.Set("preset", "medium");
    enc_->gop_size = int(std::clamp<int64_t>(int64_t(4) * s.timeScale / ticksPerFrame_, 1, 10000));
  }
  const int ret = avcodec_open2(enc_.get(), codec, opts.get());
  if (ret < 0) {
    Fail(ErrorText(ret), QString("the %1 encoder did not open").arg(codec->name));
    return false;
  }
  if (avcodec_parameters_from_context(st_->codecpar, enc_.get()) < 0) {
    Fail("the video track could not be set up");
    return false;
  }
  st_->codecpar->codec_tag = tag;

  // The frames' layout: rows aligned for the encoders' vector code, with the
  // padding av_frame_get_buffer would give, all planes in one pooled buffer.
  pixFmt_ = pixFmt;
  constexpr int kAlign = 64;
  ptrdiff_t linesizes[4] = {};
  size_t sizes[4] = {};
  if (av_image_fill_linesizes(linesize_, pixFmt, FFALIGN(width_, kAlign)) < 0) {
    Fail("the frames could not be set up");
    return false;
  }
  for (int i = 0; i < 4; ++i) linesizes[i] = linesize_[i] = FFALIGN(linesize_[i], kAlign);
  if (av_image_fill_plane_sizes(sizes, pixFmt, FFALIGN(height_, 32), linesizes) < 0) {
    Fail("the frames could not be set up");
    return false;
  }
  size_t total = 0;
  for (int i = 0; i < 4; ++i) {
    planeOffset_[i] = total;
    total += FFALIGN(sizes[i], size_t(kAlign));
  }
  encoderFrameBytes_ = total;
  pool_.reset(av_buffer_pool_init(total + AV_INPUT_BUFFER_PADDING_SIZE, nullptr));
  if (!pool_) {
    Fail("out of memory");
    return false;
  }
  if (pixFmt != AV_PIX_FMT_RGB24 && pixFmt != AV_PIX_FMT_ARGB) {
    // Colour conversion for the lossy codecs, spread over the machine's cores.
    sws_ = MakeConversion(width_, height_, pixFmt, MachineThreads());
    if (!sws_) {
      Fail("the pixel conversion could not be set up");
      return false;
    }
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(pixFmt);
    if (desc && desc->log2_chroma_w == 1 && width_ % 2 != 0 && !OpenLastChromaColumn(pixFmt)) return false;
  }
  return true;
}

bool MovieWriter::OpenLastChromaColumn(AVPixelFormat pixFmt) {
  edgeSws_ = MakeConversion(2, height_, pixFmt, 1);
  edgeIn_.reset(av_frame_alloc());
  edgeOut_.reset(av_frame_alloc());
  if (!edgeSws_ || !edgeIn_ || !edgeOut_) {
    Fail("the pixel conversion could not be set up");
    return false;
  }
  edgeIn_->format = kPictureFormat;
  edgeOut_->format = pixFmt;
  for (AVFrame* f : {edgeIn_.get(), edgeOut_.get()}) {
    f->width = 2;
    f->height = height_;
    if (av_frame_get_buffer(f, 0) < 0) {
      Fail("out of memory");
      return false;
    }
    // The conversion's vector code reads past the strip's two pixels, and
    // nothing here should depend on memory nobody wrote.
    for (AVBufferRef* buf : f->buf)
      if (buf) std::memset(buf->data, 0, buf->size);
  }
  return true;
}

bool MovieWriter::Start(const TrackSettings& s, bool withoutFrames) {
  started_ = true;
  if (Failed()) return false;
  if (s.timeScale < 1) {
    Fail(QString("invalid time scale %1").arg(s.timeScale));
    return false;
  }
  if (!hasTrack_) SetTrack(1, 1, 1.0);  // a movie without a track still needs one to be a movie
  AVFormatContext* oc = nullptr;
  int ret = avformat_alloc_output_context2(&oc, nullptr, "mov", nullptr);
  oc_.reset(oc);
  if (ret < 0 || !oc_) return CheckIo("setting up the movie", ret < 0 ? ret : AVERROR(ENOMEM));
  // The buffer is the I/O context's once that exists.
  std::unique_ptr<uint8_t, MemoryDeleter> buffer(static_cast<uint8_t*>(av_malloc(kIoBufferSize)));
  if (buffer)
    pb_.reset(avio_alloc_context(buffer.get(), kIoBufferSize, 1, this, nullptr, &WriteCallback, &SeekCallback));
  if (!pb_) {
    Fail("out of memory");
    return false;
  }
  (void)buffer.release();
  oc_->pb = pb_.get();
  oc_->flags |= AVFMT_FLAG_CUSTOM_IO;
  st_ = avformat_new_stream(oc_.get(), nullptr);
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
    rawPadding_ = rawStride_ != width_ * rawBytesPerPixel_;
    AVCodecParameters* par = st_->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_RAWVIDEO;
    par->codec_tag = MKTAG('r', 'a', 'w', ' ');
    par->format = rawBytesPerPixel_ == 4 ? AV_PIX_FMT_ARGB : AV_PIX_FMT_RGB24;
    par->bits_per_coded_sample = rawBytesPerPixel_ * 8;
    par->width = width_;
    par->height = height_;
  } else if (!OpenEncoder(s)) {
    return false;
  }
  const size_t frameBytes = raw_ ? size_t(rawStride_) * size_t(height_) : encoderFrameBytes_;
  threaded_ = frameBytes >= kThreadedFrameBytes;
  if (threaded_) {
    pb_->direct = 1;  // large packets go straight to write(), without a copy through the buffer
  } else {
    // Small packets gather in the buffer: the muxer would otherwise have it
    // written out after every packet.
    oc_->flush_packets = 0;
  }
  pkt_.reset(av_packet_alloc());
  if (!pkt_) {
    Fail("out of memory");
    return false;
  }
  Options opts;
  // Without this the muxer picks a finer time scale than the one asked for.
  opts.Set("video_track_timescale", s.timeScale);
  // The muxer leaves out tracks without samples, and a file without a video
  // track is no movie. Written up front (as for a fragmented movie), the
  // track is kept, with its size and time scale.
  if (withoutFrames) opts.Set("movflags", "empty_moov");
  ret = avformat_write_header(oc_.get(), opts.get());
  if (!CheckIo("writing its header", ret)) return false;
  rawDataStart_ = uint64_t(avio_tell(pb_.get()));
  if (withoutFrames || !threaded_) return true;
  return StartWriter();
}

bool MovieWriter::StartWriter() {
  try {
    writer_ = std::thread([this] { WriterLoop(); });
  } catch (const std::system_error& e) {
    // Out of threads or memory: the movie fails like any other, and what
    // was written of it goes.
    Fail(QString::fromLocal8Bit(e.code().message()), "its writer thread did not start");
    return false;
  }
  return true;
}

bool MovieWriter::WritePacket(AVPacket* pkt, const QString& where) {
  pkt->stream_index = st_->index;
  if (enc_) av_packet_rescale_ts(pkt, enc_->time_base, st_->time_base);
  if (pkt->duration <= 0)
    pkt->duration = av_rescale_q(ticksPerFrame_, enc_ ? enc_->time_base : st_->time_base, st_->time_base);
  return CheckIo(where, av_write_frame(oc_.get(), pkt));
}

// Takes every packet the encoder has ready.
bool MovieWriter::Drain(const QString& where) {
  for (;;) {
    const int ret = avcodec_receive_packet(enc_.get(), pkt_.get());
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
    if (ret < 0) return CheckIo(where, ret);
    const bool ok = WritePacket(pkt_.get(), where);
    av_packet_unref(pkt_.get());
    if (!ok) return false;
  }
}

// On the writer thread, or on the caller's for small frames.
bool MovieWriter::WriteFrame(Job& job) {
  const QString where = QString("frame %1").arg(job.number);
  if (raw_) {
    AVPacket* pkt = pkt_.get();
    av_packet_unref(pkt);
    pkt->data = job.raw->bytes;
    pkt->size = int(job.raw->size);
    pkt->pts = pkt->dts = job.pts;
    pkt->duration = ticksPerFrame_;
    pkt->flags |= AV_PKT_FLAG_KEY;
    writing_ = job.raw;
    const bool ok = WritePacket(pkt, where);
    writing_ = nullptr;
    pkt->data = nullptr;  // never the buffer's bytes once it goes back
    pkt->size = 0;
    return ok;
  }
  const int ret = avcodec_send_frame(enc_.get(), job.frame.get());
  job.frame.reset();  // the encoder keeps its own reference as long as it needs the pixels
  return CheckIo(where, ret) && Drain(where);
}

void MovieWriter::WriterLoop() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.pop_front();
      changed_.notify_all();
    }
    // After a failure the frames still queued are only let go.
    if (!Failed()) WriteFrame(job);
    if (job.raw) {
      std::lock_guard lock(mutex_);
      spareRaw_.push_back(job.raw);
      changed_.notify_all();
    }
  }
}

void MovieWriter::StopWriter() {
  if (!writer_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
  }
  writer_.join();
}

// A frame from the pool, in the encoder's layout, holding the picture's pixels.
bool MovieWriter::MakeFrame(const QImage& image, qsizetype readable, FramePtr* out) {
  FramePtr frame(av_frame_alloc());
  if (!frame || !(frame->buf[0] = av_buffer_pool_get(pool_.get()))) return false;
  frame->format = pixFmt_;
  frame->width = width_;
  frame->height = height_;
  for (int i = 0; i < 4; ++i) {
    frame->linesize[i] = linesize_[i];
    frame->data[i] = linesize_[i] ? frame->buf[0]->data + planeOffset_[i] : nullptr;
  }
  if (pixFmt_ == AV_PIX_FMT_RGB24) {
    PackRowsRgb24(image, 0, height_, frame->data[0], frame->linesize[0]);
  } else if (pixFmt_ == AV_PIX_FMT_ARGB) {
    PackRowsArgb(image, 0, height_, frame->data[0], frame->linesize[0]);
  } else {
    // The conversion reads a little past the last pixel: from the picture
    // itself where it has the room, else from a copy that has.
    const qsizetype rowBytes = image.bytesPerLine(), pixels = rowBytes * height_;
    const qsizetype needed = pixels + Picture::TailRoom(rowBytes);
    const uint8_t* source = image.constBits();
    if (readable < needed) {
      roomyCopy_.assign(size_t(needed), 0);
      std::memcpy(roomyCopy_.data(), source, size_t(pixels));
      source = roomyCopy_.data();
    }
    FramePtr src(av_frame_alloc());
    if (!src || !(src->buf[0] = BorrowPixels(source, size_t(needed)))) return false;
    src->format = kPictureFormat;
    src->width = width_;
    src->height = height_;
    src->data[0] = src->buf[0]->data;
    src->linesize[0] = int(rowBytes);
    if (sws_scale_frame(sws_.get(), frame.get(), src.get()) < 0) return false;
    if (edgeSws_ && !RedoLastChromaColumn(image, frame.get())) return false;
  }
  frame->quality = frameQuality_;
  *out = std::move(frame);
  return true;
}

// The conversion takes chroma from pairs of pixels, so at an odd width the
// last pair of each row reaches one pixel past the row: into the next row,
// and past the last row into whatever memory follows the picture, which
// would change the movie's bottom-right corner from one writing to the next.
// So the last chroma column is converted once more, with the same filters,
// from a strip of two pixels a row: each row's last pixel and the pixel that
// follows it in the picture, and for the last row its last pixel again (the
// nearest colour, as a coder extends a picture's edges). The rows the stray
// pixel does not reach come out as they were. The whole column is redone,
// as FFmpeg 5.1 converts part of a frame only in slices of even height,
// which the bottom of an odd-height frame is not; even so the strip costs a
// fraction of what converting from a copy of the whole picture would.
bool MovieWriter::RedoLastChromaColumn(const QImage& image, AVFrame* frame) {
  const uint8_t* bits = image.constBits();
  const size_t bytes = size_t(image.sizeInBytes()), rowBytes = size_t(image.bytesPerLine());
  const size_t lastPixel = size_t(width_ - 1) * 4;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* pixel = bits + size_t(y) * rowBytes + lastPixel;
    uint8_t* strip = edgeIn_->data[0] + ptrdiff_t(y) * edgeIn_->linesize[0];
    std::memcpy(strip, pixel, 4);
    std::memcpy(strip + 4, pixel + 8 <= bits + bytes ? pixel + 4 : pixel, 4);
  }
  if (sws_scale_frame(edgeSws_.get(), edgeOut_.get(), edgeIn_.get()) < 0) return false;
  const int column = (width_ - 1) / 2, rows = AV_CEIL_RSHIFT(height_, av_pix_fmt_desc_get(pixFmt_)->log2_chroma_h);
  for (int plane = 1; plane <= 2; ++plane)
    for (int y = 0; y < rows; ++y)
      frame->data[plane][ptrdiff_t(y) * frame->linesize[plane] + column] =
          edgeOut_->data[plane][ptrdiff_t(y) * edgeOut_->linesize[plane]];
  return true;
}

// A raw frame the writer is done with, or a new one while fewer than the
// queue, the writer and the caller can hold exist; null when the movie failed.
MovieWriter::RawFrame* MovieWriter::TakeRawFrame(int frameIndex) {
  RawFrame* raw = nullptr;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] {
      return !error_.isEmpty() || !spareRaw_.empty() || rawFrames_.size() < kQueueDepth + 2;
    });
    if (!error_.isEmpty()) return nullptr;
    if (!spareRaw_.empty()) {
      raw = spareRaw_.back();
      spareRaw_.pop_back();
    }
  }
  if (!raw) {
    auto made = std::make_unique<RawFrame>();
    made->size = size_t(rawStride_) * size_t(height_);
    made->storage.reset(new (std::nothrow) uint8_t[made->size + 2 * kPageBytes]);
    if (!made->storage) {
      Fail("out of memory");
      return nullptr;
    }
    rawFrames_.push_back(std::move(made));
    raw = rawFrames_.back().get();
  }
  // The kernel copies into the file fastest when the bytes lie at the same
  // place within a page in memory as in the file; frames follow each other
  // in the file from where the header ended.
  const uint64_t fileOffset = rawDataStart_ + uint64_t(frameIndex) * raw->size;
  const auto pageStart = (reinterpret_cast<uintptr_t>(raw->storage.get()) + kPageBytes - 1) & ~uintptr_t(kPageBytes - 1);
  raw->bytes = reinterpret_cast<uint8_t*>(pageStart + uintptr_t(fileOffset % kPageBytes));
  raw->rowsReady.store(0, std::memory_order_relaxed);
  return raw;
}

bool MovieWriter::Append(const QImage& picture, qsizetype readable, const TrackSettings& s) {
  if (finished_) {
    Fail("it was already finished");
    return false;
  }
  if (Failed()) return false;
  if (output_) return AppendToOutput(picture, s);
  if (!started_ && !Start(s)) return false;
  if (!oc_ || Failed()) return false;
  if (picture.isNull()) {
    Fail("the picture is empty");
    return false;
  }
  QImage image = picture;
  if (image.width() != width_ || image.height() != height_)
    image = image.scaled(width_, height_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
    image = image.convertToFormat(QImage::Format_RGB32);
  if (image.constBits() != picture.constBits()) readable = image.sizeInBytes();  // a copy made here

  Job job;
  job.pts = int64_t(frames_) * ticksPerFrame_;
  job.number = frames_ + 1;
  if (!threaded_) return AppendHere(image, readable, job);
  if (raw_) {
    job.raw = TakeRawFrame(frames_);
    if (!job.raw) return false;
  } else if (!MakeFrame(image, readable, &job.frame)) {
    Fail("the picture could not be converted", QString("frame %1").arg(job.number));
    return false;
  }
  RawFrame* raw = job.raw;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !error_.isEmpty() || queue_.size() < kQueueDepth; });
    if (!error_.isEmpty()) {
      if (raw) spareRaw_.push_back(raw);
      return false;
    }
    queue_.push_back(std::move(job));
    changed_.notify_all();
  }
  if (raw) {
    // Packed band by band; the writer follows each band as it is published.
    const int bandRows = std::max(1, kRawBandBytes / rawStride_);
    for (int y = 0; y < height_; y += bandRows) {
      const int end = std::min(height_, y + bandRows);
      PackRaw(image, *raw, y, end);
      raw->rowsReady.store(end, std::memory_order_release);
      raw->rowsReady.notify_one();
    }
  }
  ++frames_;
  return true;
}

void MovieWriter::PackRaw(const QImage& image, RawFrame& raw, int fromRow, int toRow) const {
  uint8_t* dst = raw.bytes + size_t(fromRow) * size_t(rawStride_);
  if (rawBytesPerPixel_ == 3)
    PackRowsRgb24(image, fromRow, toRow, dst, rawStride_);
  else
    PackRowsArgb(image, fromRow, toRow, dst, rawStride_);
  if (rawPadding_)  // the byte that makes an odd row length even
    for (int row = fromRow; row < toRow; ++row) raw.bytes[size_t(row + 1) * size_t(rawStride_) - 1] = 0;
}

// A small frame, converted and written right here.
bool MovieWriter::AppendHere(const QImage& image, qsizetype readable, Job& job) {
  if (raw_) {
    if (!hereRaw_.storage) {
      hereRaw_.size = size_t(rawStride_) * size_t(height_);
      hereRaw_.storage.reset(new (std::nothrow) uint8_t[hereRaw_.size]);
      if (!hereRaw_.storage) {
        Fail("out of memory");
        return false;
      }
      hereRaw_.bytes = hereRaw_.storage.get();
    }
    PackRaw(image, hereRaw_, 0, height_);
    hereRaw_.rowsReady.store(height_, std::memory_order_relaxed);
    job.raw = &hereRaw_;
  } else if (!MakeFrame(image, readable, &job.frame)) {
    Fail("the picture could not be converted", QString("frame %1").arg(job.number));
    return false;
  }
  if (!WriteFrame(job)) return false;
  ++frames_;
  return true;
}

// The frames of another format go to its output on the caller's thread:
// its encoder has threads of its own where it can use them.
bool MovieWriter::AppendToOutput(const QImage& picture, const TrackSettings& s) {
  if (picture.isNull()) {
    Fail("the picture is empty");
    return false;
  }
  if (!started_) {
    started_ = true;
    if (const QString why = output_->Begin(width_, height_, s.timeScale, ticksPerFrame_); !why.isEmpty()) {
      Fail(why);
      return false;
    }
  }
  QImage image = picture;
  if (image.width() != width_ || image.height() != height_)
    image = image.scaled(width_, height_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  if (const QString why = output_->AddFrame(image); !why.isEmpty()) {
    Fail(why);
    return false;
  }
  ++frames_;
  return true;
}

QString MovieWriter::FinishOutput() {
  if (!started_ && !Failed()) {
    started_ = true;
    const TrackSettings s = track_ ? SettingsOf(*track_) : pending_;
    if (const QString why = output_->Begin(width_, height_, s.timeScale, ticksPerFrame_); !why.isEmpty()) Fail(why);
  }
  if (!Failed()) {
    if (const QString why = output_->Finish(); !why.isEmpty()) Fail(why);
  }
  if (Failed()) output_->Abandon();
  output_.reset();
  finishError_ = Error();
  return finishError_;
}

QString MovieWriter::Finish() {
  if (finished_) return finishError_;
  finished_ = true;
  if (output_) return FinishOutput();
  if (!started_ && !Failed()) Start(track_ ? SettingsOf(*track_) : pending_, true);
  StopWriter();
  if (!Failed() && oc_) {
    if (enc_) {
      const int ret = avcodec_send_frame(enc_.get(), nullptr);
      if (CheckIo("finishing it", ret)) Drain("finishing it");
    }
    if (!Failed()) CheckIo("finishing it", av_write_trailer(oc_.get()));
    if (!Failed()) {
      avio_flush(pb_.get());
      CheckIo("finishing it", 0);
    }
  }
  queue_.clear();
  spareRaw_.clear();
  rawFrames_.clear();
  hereRaw_.storage.reset();
  sws_.reset();
  edgeSws_.reset();
  edgeIn_.reset();
  edgeOut_.reset();
  pkt_.reset();
  enc_.reset();
  pool_.reset();
  oc_.reset();
  pb_.reset();
  if (Failed()) {
    file_.Discard();
  } else if (fd_ >= 0) {
    const QString why = file_.Commit();
    if (!why.isEmpty()) Fail(why, "the finished movie could not take its name");
  }
  fd_ = -1;
  finishError_ = Error();
  return finishError_;
}

// ---------------------------------------------------------------------------

QTVideoTrack::QTVideoTrack(std::shared_ptr<MovieWriter> writer) : writer_(std::move(writer)) {
  writer_->AttachTrack(this);
}

QTVideoTrack::~QTVideoTrack() {
  // A movie finished without frames still takes this track's settings.
  writer_->DetachTrack(*this);
}

int QTVideoTrack::Width() const { return writer_->Width(); }
int QTVideoTrack::Height() const { return writer_->Height(); }
int QTVideoTrack::FrameCount() const { return writer_->FrameCount(); }
QString QTVideoTrack::Error() const { return writer_->Error(); }

bool QTVideoTrack::AppendPicture(const Picture& picture) {
  return writer_->Append(picture.image(), picture.ReadableBytes(), SettingsOf(*this));
}

EditableMovie::EditableMovie(std::shared_ptr<MovieWriter> writer) : writer_(std::move(writer)) {}
EditableMovie::~EditableMovie() = default;

QString EditableMovie::Error() const { return writer_->Error(); }

QString EditableMovie::Finish() { return writer_->Finish(); }

void EditableMovie::Discard() { writer_->Discard(); }

std::shared_ptr<QTVideoTrack> EditableMovie::NewVideoTrack(int width, int height, double frameRate) {
  if (writer_->HasTrack()) return nullptr;  // one video track per movie
  writer_->SetTrack(width, height, frameRate);
  return std::make_shared<QTVideoTrack>(writer_);
}

EditableMoviePtr CreateMovieAt(const QString& path) {
  return std::make_shared<EditableMovie>(std::make_shared<MovieWriter>(path));
}

EditableMoviePtr CreateMovieOn(FrameOutputPtr output, const QString& path) {
  return std::make_shared<EditableMovie>(std::make_shared<MovieWriter>(std::move(output), path));
}

QList<CodecChoice> AvailableCodecs() {
  QList<CodecChoice> list;
  list.append({"raw ", "None", true, true});
  if (avcodec_find_encoder(AV_CODEC_ID_QTRLE)) list.append({"rle ", "Animation", true, true});
  if (avcodec_find_encoder(AV_CODEC_ID_PNG)) list.append({"png ", "PNG", true, false});
  if (avcodec_find_encoder(AV_CODEC_ID_MJPEG)) list.append({"jpeg", "Photo - JPEG", false, false});
  if (FindH264Encoder()) list.append({"avc1", "H.264", false, false});
  return list;
}
