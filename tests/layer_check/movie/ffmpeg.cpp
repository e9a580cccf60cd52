// Let through: the movie layer uses FFmpeg, and Qt Widgets.
extern "C" {
#include <libavutil/version.h>
}
#include <QWidget>
