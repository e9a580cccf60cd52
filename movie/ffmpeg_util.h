#pragma once
// Ownership of FFmpeg's C objects, and the few helpers both the writing and
// the reading side use. Every FFmpeg object the movie layer makes is held by
// one of these types from the moment it exists, so no path can forget it.
#include <QString>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/buffer.h>
#include <libswscale/swscale.h>
}

namespace ffmpeg {

struct CodecContextDeleter {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsDeleter {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct BufferPoolDeleter {
  void operator()(AVBufferPool* p) const { av_buffer_pool_uninit(&p); }
};
// A context made by avformat_alloc_output_context2; its I/O is ours and freed apart.
struct OutputContextDeleter {
  void operator()(AVFormatContext* c) const {
    c->pb = nullptr;
    avformat_free_context(c);
  }
};
// A context opened by avformat_open_input.
struct InputContextDeleter {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
// An AVIOContext of our own, with the buffer it was made with (or the one it grew to).
struct IoContextDeleter {
  void operator()(AVIOContext* io) const {
    av_freep(&io->buffer);
    avio_context_free(&io);
  }
};
struct MemoryDeleter {
  void operator()(void* p) const { av_free(p); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using BufferPoolPtr = std::unique_ptr<AVBufferPool, BufferPoolDeleter>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextDeleter>;

// An AVDictionary of options handed to an FFmpeg call that takes "AVDictionary**".
class Options {
 public:
  Options() = default;
  Options(const Options&) = delete;
  Options& operator=(const Options&) = delete;
  ~Options() { av_dict_free(&dict_); }
  void Set(const char* key, const char* value) { av_dict_set(&dict_, key, value, 0); }
  void Set(const char* key, int64_t value) { av_dict_set_int(&dict_, key, value, 0); }
  AVDictionary** get() { return &dict_; }

 private:
  AVDictionary* dict_ = nullptr;
};

// True once FFmpeg's log level has been set, which happens when the program
// starts. Every file that uses FFmpeg refers to it, so the setting is linked
// into every program that does.
bool LogLevelSet();

// FFmpeg's text for an error code.
QString ErrorText(int err);

// The pixel format of a QImage::Format_RGB32 picture in memory: 0xAARRGGBB
// words in the machine's byte order.
constexpr AVPixelFormat kPictureFormat = AV_PIX_FMT_RGB32;

}  // namespace ffmpeg
