// Refused: FFmpeg in a folder the rules do not name.
/**/#include <libavutil/version.h>
