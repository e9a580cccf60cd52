#include "movie/encoder_stream.h"

#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavutil/opt.h>
}

using namespace ffmpeg;

namespace {

constexpr int kIoBufferSize = 1 << 20;

QString SystemText(int err) { return QString::fromLocal8Bit(strerror(err)); }

// A reading view of the file being written, with its own position: the MP4
// muxer reads the file back to move its index to the front (+faststart).
struct ReadView {
  int fd;
  int64_t position = 0;
};

int ReadCallback(void* opaque, uint8_t* buf, int size) {
  auto* view = static_cast<ReadView*>(opaque);
  ssize_t n;
  do n = ::pread(view->fd, buf, size_t(size), off_t(view->position));
  while (n < 0 && errno == EINTR);
  if (n < 0) return AVERROR(errno);
  if (n == 0) return AVERROR_EOF;
  view->position += n;
  return int(n);
}

int64_t ReadSeekCallback(void* opaque, int64_t offset, int whence) {
  auto* view = static_cast<ReadView*>(opaque);
  struct stat sb {};
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return ::fstat(view->fd, &sb) == 0 ? int64_t(sb.st_size) : AVERROR(errno);
    case SEEK_SET: view->position = offset; break;
    case SEEK_CUR: view->position += offset; break;
    case SEEK_END:
      if (::fstat(view->fd, &sb) != 0) return AVERROR(errno);
      view->position = sb.st_size + offset;
      break;
    default: return AVERROR(EINVAL);
  }
  return view->position;
}

}  // namespace

EncoderStream::~EncoderStream() { Abandon(); }

QString EncoderStream::Check(int ret, const QString& where) {
  if (!error_.isEmpty()) return error_;
  QString why;
  if (ioErrno_ != 0)
    why = SystemText(ioErrno_);
  else if (pb_ && pb_->error < 0)
    why = ErrorText(pb_->error);
  else if (ret < 0)
    why = ErrorText(ret);
  if (!why.isEmpty()) error_ = why + (where.isEmpty() ? QString() : " (" + where + ")");
  return error_;
}

int EncoderStream::WriteCallback(void* opaque, uint8_t* buf, int size) {
  auto* self = static_cast<EncoderStream*>(opaque);
  int done = 0;
  while (done < size) {
    const ssize_t n = ::write(self->fd_, buf + done, size_t(size - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      self->ioErrno_ = n < 0 ? errno : ENOSPC;
      return AVERROR(self->ioErrno_);
    }
    done += int(n);
  }
  return size;
}

int64_t EncoderStream::SeekCallback(void* opaque, int64_t offset, int whence) {
  auto* self = static_cast<EncoderStream*>(opaque);
  if (whence == AVSEEK_SIZE) {
    struct stat sb {};
    return ::fstat(self->fd_, &sb) == 0 ? int64_t(sb.st_size) : AVERROR(errno);
  }
  const off_t r = ::lseek(self->fd_, off_t(offset), whence & ~AVSEEK_FORCE);
  return r < 0 ? AVERROR(errno) : int64_t(r);
}

int EncoderStream::OpenForReading(AVFormatContext* s, AVIOContext** pb, const char*, int flags, AVDictionary**) {
  auto* self = static_cast<EncoderStream*>(s->opaque);
  if (flags & AVIO_FLAG_WRITE) return AVERROR(EPERM);  // the stream writes one file only
  auto view = std::make_unique<ReadView>(ReadView{self->fd_});
  auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
  if (!buffer) return AVERROR(ENOMEM);
  *pb = avio_alloc_context(buffer, kIoBufferSize, 0, view.get(), ReadCallback, nullptr, ReadSeekCallback);
  if (!*pb) {
    av_free(buffer);
    return AVERROR(ENOMEM);
  }
  view.release();  // freed by CloseReading
  return 0;
}

int EncoderStream::CloseReading(AVFormatContext*, AVIOContext* pb) {
  if (!pb) return 0;
  delete static_cast<ReadView*>(pb->opaque);
  av_freep(&pb->buffer);
  avio_context_free(&pb);
  return 0;
}

QString EncoderStream::Open(const QString& path, const Setup& setup) {
  (void)LogLevelSet();
  ticksPerFrame_ = setup.ticksPerFrame;
  if (QFileInfo(path).isDir()) return error_ = "a folder of that name is in the way";
  if (const QString why = file_.Open(path); !why.isEmpty())
    return error_ = why + " (no file could be made in its folder)";
  fd_ = file_.Descriptor();

  const AVCodec* codec = avcodec_find_encoder_by_name(setup.encoder);
  if (!codec) return error_ = QString("this system has no %1 encoder").arg(setup.encoder);
  AVFormatContext* oc = nullptr;
  if (avformat_alloc_output_context2(&oc, nullptr, setup.muxer, nullptr) < 0 || !oc) return error_ = "out of memory";
  oc_.reset(oc);
  auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
  if (!buffer) return error_ = "out of memory";
  pb_.reset(avio_alloc_context(buffer, kIoBufferSize, 1, this, nullptr, WriteCallback, SeekCallback));
  if (!pb_) {
    av_free(buffer);
    return error_ = "out of memory";
  }
  oc_->pb = pb_.get();
  // The same frames make the same bytes, from the window or the command
  // line (no random ids, no library version in the file).
  oc_->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_BITEXACT;
  oc_->opaque = this;
  oc_->io_open = OpenForReading;
  oc_->io_close2 = CloseReading;

  st_ = avformat_new_stream(oc_.get(), nullptr);
  enc_.reset(avcodec_alloc_context3(codec));
  pkt_.reset(av_packet_alloc());
  if (!st_ || !enc_ || !pkt_) return error_ = "out of memory";
  enc_->width = setup.width;
  enc_->height = setup.height;
  enc_->pix_fmt = setup.pixelFormat;
  enc_->time_base = {1, setup.timeScale};
  enc_->framerate = {setup.timeScale, setup.ticksPerFrame};
  enc_->thread_count = 0;  // as many as the encoder finds worth it, as the ffmpeg tool does
  if (oc_->oformat->flags & AVFMT_GLOBALHEADER) enc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  Options codecOptions;
  if (setup.configure) setup.configure(enc_.get(), codecOptions);
  int ret = avcodec_open2(enc_.get(), codec, codecOptions.get());
  if (ret < 0) return Check(ret, QString("the %1 encoder did not open").arg(setup.encoder));

  ret = avcodec_parameters_from_context(st_->codecpar, enc_.get());
  if (ret < 0) return Check(ret, "setting up");
  st_->codecpar->width = setup.shownWidth > 0 ? setup.shownWidth : setup.width;
  st_->codecpar->height = setup.shownHeight > 0 ? setup.shownHeight : setup.height;
  st_->time_base = enc_->time_base;
  st_->avg_frame_rate = enc_->framerate;

  Options muxerOptions;
  if (setup.configureMuxer) setup.configureMuxer(muxerOptions);
  ret = avformat_write_header(oc_.get(), muxerOptions.get());
  return Check(ret, "writing its header");
}

FramePtr EncoderStream::NewFrame() const {
  FramePtr frame(av_frame_alloc());
  if (!frame) return nullptr;
  frame->format = enc_->pix_fmt;
  frame->width = enc_->width;
  frame->height = enc_->height;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
  return frame;
}

QString EncoderStream::Write(AVPacket* pkt, const QString& where) {
  pkt->stream_index = st_->index;
  if (pkt->duration <= 0) pkt->duration = ticksPerFrame_;
  av_packet_rescale_ts(pkt, enc_->time_base, st_->time_base);
  return Check(av_write_frame(oc_.get(), pkt), where);
}

// Every packet the encoder has ready.
QString EncoderStream::WritePackets(const QString& where) {
  for (;;) {
    const int ret = avcodec_receive_packet(enc_.get(), pkt_.get());
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return {};
    if (ret < 0) return Check(ret, where);
    const QString error = Write(pkt_.get(), where);
    av_packet_unref(pkt_.get());
    if (!error.isEmpty()) return error;
  }
}

QString EncoderStream::Send(FramePtr frame) {
  if (!error_.isEmpty()) return error_;
  if (finished_ || !enc_) return error_ = "it was already finished";
  const QString where = QString("frame %1").arg(frames_ + 1);
  frame->pts = frames_ * ticksPerFrame_;
  ++frames_;
  if (const QString error = Check(avcodec_send_frame(enc_.get(), frame.get()), where); !error.isEmpty()) return error;
  return WritePackets(where);
}

QString EncoderStream::Finish() {
  if (finished_) return error_;
  finished_ = true;
  if (error_.isEmpty() && !enc_) error_ = "it was never begun";
  if (error_.isEmpty() && Check(avcodec_send_frame(enc_.get(), nullptr), "finishing it").isEmpty() &&
      WritePackets("finishing it").isEmpty() && Check(av_write_trailer(oc_.get()), "finishing it").isEmpty()) {
    avio_flush(pb_.get());
    Check(0, "finishing it");
  }
  enc_.reset();
  oc_.reset();
  pb_.reset();
  pkt_.reset();
  if (error_.isEmpty()) {
    if (const QString why = file_.Commit(); !why.isEmpty()) error_ = why + " (the finished file could not take its name)";
  }
  file_.Discard();
  fd_ = -1;
  return error_;
}

void EncoderStream::Abandon() {
  finished_ = true;
  enc_.reset();
  oc_.reset();
  pb_.reset();
  pkt_.reset();
  file_.Discard();
  fd_ = -1;
}
