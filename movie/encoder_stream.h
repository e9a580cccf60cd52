#pragma once
// One compressed video stream written by an FFmpeg muxer (MP4, WebM, APNG)
// into a MovieOutputFile: the file has no name until the stream is finished,
// and an abandoned or failed stream leaves nothing behind.
//
// The caller sets the stream up once, then hands it frames in the encoder's
// pixel format; each is sent to the encoder, and every packet the encoder has
// ready is written at once (FFmpeg's send-frame / receive-packet loop).
// Each frame lasts ticksPerFrame ticks of 1/timeScale s.
#include <QString>
#include <functional>

#include "movie/ffmpeg_util.h"
#include "movie/movie_file.h"

class EncoderStream {
 public:
  struct Setup {
    const char* muxer = nullptr;       // FFmpeg's short name: "mp4", "webm", "apng"
    const char* encoder = nullptr;     // "libx264", "libvpx-vp9", "apng"
    int width = 0, height = 0;         // the size the encoder is given
    int shownWidth = 0, shownHeight = 0;  // the size the file announces (an odd size of an even encode)
    AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
    int timeScale = 8, ticksPerFrame = 1;
    // Called on the encoder before it opens, with its private options.
    std::function<void(AVCodecContext*, ffmpeg::Options&)> configure;
    // The muxer's options ("movflags", "plays").
    std::function<void(ffmpeg::Options&)> configureMuxer;
  };

  EncoderStream() = default;
  EncoderStream(const EncoderStream&) = delete;
  EncoderStream& operator=(const EncoderStream&) = delete;
  ~EncoderStream();

  // Each returns what went wrong (FFmpeg's or the system's words, and where),
  // empty when all is well.
  QString Open(const QString& path, const Setup& setup);
  // A frame of the encoder's size and pixel format to fill (null when out of memory).
  ffmpeg::FramePtr NewFrame() const;
  // The next frame; its time is set here.
  QString Send(ffmpeg::FramePtr frame);
  // The encoder emptied, the trailer written, the file given its name.
  QString Finish();
  // Nothing of the stream stays.
  void Abandon();

  const AVCodecContext* Encoder() const { return enc_.get(); }

 private:
  QString WritePackets(const QString& where);
  QString Write(AVPacket* pkt, const QString& where);
  QString Check(int ret, const QString& where);

  static int WriteCallback(void* opaque, uint8_t* buf, int size);
  static int64_t SeekCallback(void* opaque, int64_t offset, int whence);
  static int OpenForReading(AVFormatContext* s, AVIOContext** pb, const char* url, int flags, AVDictionary** options);
  static int CloseReading(AVFormatContext* s, AVIOContext* pb);

  MovieOutputFile file_;
  int fd_ = -1;
  int ioErrno_ = 0;
  int ticksPerFrame_ = 1;
  int64_t frames_ = 0;
  ffmpeg::IoContextPtr pb_;
  ffmpeg::OutputContextPtr oc_;
  AVStream* st_ = nullptr;  // owned by oc_
  ffmpeg::CodecContextPtr enc_;
  ffmpeg::PacketPtr pkt_;
  QString error_;
  bool finished_ = false;
};
