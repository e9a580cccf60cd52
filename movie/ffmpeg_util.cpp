#include "movie/ffmpeg_util.h"

#include "movie/movie.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace ffmpeg {

namespace {
// FFmpeg's informational chatter (encoder statistics, pixel format notes,
// warnings about damaged files that our own results report) is not for the
// user; errors still reach the log. Set once, when the program starts, before
// any other thread could be using FFmpeg.
const bool g_quiet = [] {
  if (av_log_get_level() > AV_LOG_ERROR) av_log_set_level(AV_LOG_ERROR);
  return true;
}();
}  // namespace

bool LogLevelSet() { return g_quiet; }

QString ErrorText(int err) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(err, buf, sizeof buf);
  return QString::fromUtf8(buf);
}

}  // namespace ffmpeg

void QuietMovieLibraryLog() { av_log_set_level(AV_LOG_QUIET); }
