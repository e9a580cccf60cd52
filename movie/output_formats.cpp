#include "movie/output_formats.h"

#include <QFileInfo>

#include "framework/folderitem.h"
#include "movie/ffmpeg_util.h"
#include "movie/gif_output.h"

namespace {

bool HasEncoder(const char* name) { return avcodec_find_encoder_by_name(name) != nullptr; }

std::vector<OutputFormat> MakeList() {
  std::vector<OutputFormat> list;
  auto add = [&list](OutputFormat f) { list.push_back(std::move(f)); };
  add({"mov", "QuickTime movie", {"mov"}});
  add({"gif", "GIF animation", {"gif"}, false, true, false, false, MakeGifOutput});
  add({"webp", "Animated WebP", {"webp"}, false, true, true, true, MakeWebpOutput, 0, 75});
  if (HasEncoder("apng")) add({"apng", "Animated PNG", {"apng"}, false, true, false, false, MakeApngOutput});
  if (HasEncoder("libx264")) add({"mp4", "MP4 video (H.264)", {"mp4"}, false, false, true, false, MakeMp4Output, 0, 58});
  if (HasEncoder("libvpx-vp9")) add({"webm", "WebM video (VP9)", {"webm"}, false, false, true, false, MakeWebmOutput, 0, 49});
  add({"pict", "PICT frames", {}, true, false, false, false, nullptr, kPictFile});
  add({"png", "PNG frames", {}, true, false, false, false, nullptr, kPngFile});
  return list;
}

}  // namespace

const std::vector<OutputFormat>& OutputFormats() {
  static const std::vector<OutputFormat> list = MakeList();
  return list;
}

const OutputFormat* FindOutputFormat(const QString& id) {
  for (const OutputFormat& f : OutputFormats())
    if (f.id == id) return &f;
  return nullptr;
}

const OutputFormat* OutputFormatOfFile(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix.isEmpty()) return nullptr;
  for (const OutputFormat& f : OutputFormats())
    if (!f.folder && f.extensions.contains(suffix)) return &f;
  return nullptr;
}

QString OutputFormatIds(bool folders) {
  QStringList ids;
  for (const OutputFormat& f : OutputFormats())
    if (f.folder == folders) ids << f.id;
  return ids.join(", ");
}

EditableMoviePtr CreateMovieAs(const OutputFormat& format, const QString& path, const FrameOutputOptions& options) {
  if (!format.make) return CreateMovieAt(path);
  return CreateMovieOn(format.make(path, options), path);
}
