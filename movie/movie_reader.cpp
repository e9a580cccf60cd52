// Reading movies frame by frame with FFmpeg.
//
// Only the packet being decoded and the one frame being returned are held,
// so a long movie costs no more memory than a short one.
//
// Uncompressed QuickTime frames ("raw ", 24 or 32 bits) are converted here
// rather than by FFmpeg's rawvideo decoder: QuickTime pads every row to an
// even number of bytes, and the decoder guesses the row length wrongly for
// some widths. The row stride is taken from each packet itself (its size
// divided by the height), which is right for every width.
#include <QFile>
#include <algorithm>
#include <cmath>

#include "movie/ffmpeg_util.h"
#include "movie/movie_reader.h"

extern "C" {
#include <libavutil/imgutils.h>
}

using namespace ffmpeg;

namespace {

// What the file says about its video stream.
struct StreamFacts {
  int width = 0, height = 0, frames = 0;
  double fps = 8.0;
};

double StreamFps(const AVStream* st) {
  for (AVRational r : {st->avg_frame_rate, st->r_frame_rate}) {
    if (r.num > 0 && r.den > 0) {
      const double fps = av_q2d(r);
      if (std::isfinite(fps) && fps > 0 && fps <= 1000) return fps;
    }
  }
  return 8.0;
}

StreamFacts Facts(AVFormatContext* fc, const AVStream* st) {
  StreamFacts f;
  f.width = st->codecpar->width;
  f.height = st->codecpar->height;
  f.fps = StreamFps(st);
  if (st->nb_frames > 0) {
    f.frames = int(std::min<int64_t>(st->nb_frames, INT32_MAX));
  } else {
    const int entries = avformat_index_get_entries_count(st);
    if (entries > 0) {
      f.frames = entries;
    } else if (fc->duration > 0) {
      f.frames = int(std::lround(double(fc->duration) / AV_TIME_BASE * f.fps));
    }
  }
  return f;
}

// Opens a file and finds its video stream; null when it is no movie FFmpeg can read.
InputContextPtr OpenVideo(const QString& path, int* streamIndex) {
  (void)LogLevelSet();
  AVFormatContext* opened = nullptr;
  const QByteArray name = QFile::encodeName(path);
  if (avformat_open_input(&opened, name.constData(), nullptr, nullptr) < 0) return nullptr;
  InputContextPtr fc(opened);
  // FFmpeg also reads single still pictures (and even text files, by their
  // extension) as one-frame videos; those are pictures, not movies.
  const QByteArray format = fc->iformat->name;
  if (format == "image2" || format.endsWith("_pipe") || format == "tty") return nullptr;
  int index = av_find_best_stream(fc.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (index < 0 || fc->streams[index]->codecpar->width <= 0) {
    // Containers without a header describing their streams need a look at the data.
    if (avformat_find_stream_info(fc.get(), nullptr) >= 0)
      index = av_find_best_stream(fc.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  }
  if (index < 0 || fc->streams[index]->codecpar->width <= 0 || fc->streams[index]->codecpar->height <= 0)
    return nullptr;
  *streamIndex = index;
  return fc;
}

}  // namespace

std::shared_ptr<Movie> Movie::Open(const QString& path) {
  int index = -1;
  const InputContextPtr fc = OpenVideo(path, &index);
  if (!fc) return nullptr;
  const StreamFacts f = Facts(fc.get(), fc->streams[index]);
  auto movie = std::make_shared<Movie>();
  movie->path_ = path;
  movie->width_ = f.width;
  movie->height_ = f.height;
  movie->frames_ = f.frames;
  movie->fps_ = f.fps;
  return movie;
}

struct MovieReader::Impl {
  // Declared so that the decoder and the packet go before the file they came from.
  InputContextPtr fc;
  AVStream* st = nullptr;  // owned by fc
  CodecContextPtr dec;
  PacketPtr pkt;
  FramePtr frame;
  SwsPtr sws;
  StreamFacts facts;
  int rawBytesPerPixel = 0;  // 3 or 4 when "raw " packets are converted here, else 0
  int next = 0;              // index of the frame Next() returns
  bool drained = false;      // the decoder has been told the file ended

  ~Impl() { Close(); }
  void Close() {
    sws.reset();
    frame.reset();
    pkt.reset();
    dec.reset();
    fc.reset();
    st = nullptr;
    rawBytesPerPixel = 0;
    next = 0;
    drained = false;
  }

  // The next packet of the video stream; false at the end of the file.
  bool ReadPacket() {
    for (;;) {
      av_packet_unref(pkt.get());
      if (av_read_frame(fc.get(), pkt.get()) < 0) return false;
      if (pkt->stream_index == st->index) return true;
    }
  }

  QImage FromRaw() const {
    const int w = facts.width, h = facts.height;
    const int stride = pkt->size / h;
    if (stride < w * rawBytesPerPixel) return {};
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull()) return {};
    for (int y = 0; y < h; ++y) {
      const uint8_t* s = pkt->data + size_t(y) * size_t(stride);
      auto* d = reinterpret_cast<uint32_t*>(image.scanLine(y));
      if (rawBytesPerPixel == 3) {
        for (int x = 0; x < w; ++x, s += 3) d[x] = 0xff000000u | uint32_t(s[0]) << 16 | uint32_t(s[1]) << 8 | s[2];
      } else {
        for (int x = 0; x < w; ++x, s += 4) d[x] = 0xff000000u | uint32_t(s[1]) << 16 | uint32_t(s[2]) << 8 | s[3];
      }
    }
    return image;
  }

  QImage FromFrame() {
    const int w = frame->width, h = frame->height;
    // sws_getCachedContext frees the context it is given when it makes a new one.
    sws.reset(sws_getCachedContext(sws.release(), w, h, AVPixelFormat(frame->format), w, h, kPictureFormat,
                                   SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr));
    if (!sws) return {};
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull()) return {};
    uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(sws.get(), frame->data, frame->linesize, 0, h, dst, dstStride);
    // Format_RGB32 wants opaque pixels whatever alpha the source had.
    for (int y = 0; y < h; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
      for (int x = 0; x < w; ++x) row[x] |= 0xff000000u;
    }
    return image;
  }

  // Advances one frame; its pixels are produced only when its time stamp is at
  // least convertFrom (skipping ahead costs no conversion). pts receives the
  // frame's time stamp. False at the end.
  bool Advance(int64_t convertFrom, QImage* out, int64_t* pts) {
    if (rawBytesPerPixel) {
      if (!ReadPacket()) return false;
      *pts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
      if (*pts == AV_NOPTS_VALUE || *pts >= convertFrom) *out = FromRaw();
      return true;
    }
    for (;;) {
      int ret = avcodec_receive_frame(dec.get(), frame.get());
      if (ret >= 0) {
        *pts = frame->best_effort_timestamp;
        if (*pts == AV_NOPTS_VALUE || *pts >= convertFrom) *out = FromFrame();
        av_frame_unref(frame.get());
        return true;
      }
      if (ret != AVERROR(EAGAIN)) return false;  // end of stream or a broken one
      if (!drained && ReadPacket()) {
        ret = avcodec_send_packet(dec.get(), pkt.get());
        av_packet_unref(pkt.get());
        if (ret < 0 && ret != AVERROR(EAGAIN)) continue;  // a damaged packet: go on with the next
      } else {
        drained = true;
        avcodec_send_packet(dec.get(), nullptr);
      }
    }
  }

  // Back to the frame at or before time stamp ts (the start when ts is 0).
  bool SeekTo(int64_t ts) {
    if (av_seek_frame(fc.get(), st->index, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
        av_seek_frame(fc.get(), st->index, ts, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0)
      return false;
    if (dec) avcodec_flush_buffers(dec.get());
    drained = false;
    return true;
  }
};

MovieReader::MovieReader() : d_(std::make_unique<Impl>()) {}
MovieReader::~MovieReader() = default;

bool MovieReader::Open(const QString& path) {
  d_->Close();
  int index = -1;
  d_->fc = OpenVideo(path, &index);
  if (!d_->fc) return false;
  d_->st = d_->fc->streams[index];
  // Only the video stream is read.
  for (unsigned i = 0; i < d_->fc->nb_streams; ++i)
    if (int(i) != index) d_->fc->streams[i]->discard = AVDISCARD_ALL;
  d_->facts = Facts(d_->fc.get(), d_->st);
  d_->pkt.reset(av_packet_alloc());
  d_->frame.reset(av_frame_alloc());
  if (!d_->pkt || !d_->frame) {
    d_->Close();
    return false;
  }
  const AVCodecParameters* par = d_->st->codecpar;
  if (par->codec_id == AV_CODEC_ID_RAWVIDEO && par->codec_tag == MKTAG('r', 'a', 'w', ' ') &&
      (par->bits_per_coded_sample == 24 || par->bits_per_coded_sample == 32)) {
    d_->rawBytesPerPixel = par->bits_per_coded_sample / 8;
    return true;
  }
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  d_->dec.reset(codec ? avcodec_alloc_context3(codec) : nullptr);
  if (!d_->dec || avcodec_parameters_to_context(d_->dec.get(), par) < 0) {
    d_->Close();
    return false;
  }
  d_->dec->pkt_timebase = d_->st->time_base;
  d_->dec->thread_count = 1;  // frames come out in order, one at a time
  if (avcodec_open2(d_->dec.get(), codec, nullptr) < 0) {
    d_->Close();
    return false;
  }
  return true;
}

int MovieReader::Width() const { return d_->facts.width; }
int MovieReader::Height() const { return d_->facts.height; }
int MovieReader::FrameCount() const { return d_->facts.frames; }
double MovieReader::FramesPerSecond() const { return d_->facts.fps; }

QImage MovieReader::Next() {
  if (!d_->fc) return {};
  QImage image;
  int64_t pts = 0;
  if (!d_->Advance(INT64_MIN, &image, &pts)) return {};
  ++d_->next;
  return image;
}

void MovieReader::Rewind() {
  if (!d_->fc) return;
  d_->SeekTo(d_->st->start_time != AV_NOPTS_VALUE ? d_->st->start_time : 0);
  d_->next = 0;
}

QImage MovieReader::Frame(int k) {
  if (!d_->fc || k < 0 || (d_->facts.frames > 0 && k >= d_->facts.frames)) return {};
  constexpr int kSkipLimit = 8;  // nearer than this, decoding forward beats seeking
  if (k < d_->next || k - d_->next > kSkipLimit) {
    // Every sample of a QuickTime stream has an index entry, so frame k starts
    // at entry k's time stamp: seek to the key frame before it and decode
    // forward to it, converting only the frame wanted.
    const AVIndexEntry* entry = avformat_index_get_entries_count(d_->st) == d_->facts.frames
                                    ? avformat_index_get_entry(d_->st, k)
                                    : nullptr;
    const int64_t target = entry ? entry->timestamp : 0;
    if (entry && d_->SeekTo(target)) {
      QImage image;
      int64_t pts = 0;
      for (;;) {
        if (!d_->Advance(target, &image, &pts)) return {};
        if (pts == AV_NOPTS_VALUE || pts >= target) break;
      }
      d_->next = k + 1;
      return image;
    }
    if (k < d_->next) Rewind();
  }
  QImage unused;
  int64_t pts = 0;
  while (d_->next < k) {
    if (!d_->Advance(INT64_MAX, &unused, &pts)) return {};
    ++d_->next;
  }
  return Next();
}
