#pragma once
// The formats a rendered animation can be exported in: the one list that the
// window's "Export As.." dialog and the command line are both built from.
// It holds only what this build can write (an encoder that is missing leaves
// its format out).
#include <QString>
#include <QStringList>
#include <vector>

#include "movie/frame_output.h"
#include "movie/movie.h"

using FrameOutputFactory = FrameOutputPtr (*)(const QString& path, const FrameOutputOptions& options);

struct OutputFormat {
  QString id;              // its name on the command line: "mov", "gif", "png" ...
  QString label;           // for the save dialog: "MP4 video (H.264)"
  QStringList extensions;  // without the dot, the usual one first; none for a folder
  bool folder = false;     // a folder of numbered frame files rather than one file
  // Which of the options mean something for it.
  bool loop = false, quality = false, lossless = false;
  // Makes the output; null for the QuickTime movie (the movie layer's own,
  // with the compression settings) and for the frame folders (files the
  // engine writes, in pictureFormat).
  FrameOutputFactory make = nullptr;
  int pictureFormat = 0;  // a frame folder's FolderItem::SaveAsPicture format
  int defaultQuality = -1;  // the quality that the format's default stands for
};

// Files first, in the save dialog's order, then the frame folders.
const std::vector<OutputFormat>& OutputFormats();
// By id; null when this build has no such format.
const OutputFormat* FindOutputFormat(const QString& id);
// The file format whose extension the path has (in any case); null for none.
const OutputFormat* OutputFormatOfFile(const QString& path);
// The ids of the file formats, or of the frame folders: "mov, gif, ...".
QString OutputFormatIds(bool folders);

// A movie on a path in a file format: the QuickTime movie itself for "mov",
// else a movie whose track hands its frames to the format's output. Its track
// takes pictures, and it finishes or is discarded, as every movie does.
EditableMoviePtr CreateMovieAs(const OutputFormat& format, const QString& path, const FrameOutputOptions& options);

// The outputs, one file each.
FrameOutputPtr MakeMp4Output(const QString& path, const FrameOutputOptions& options);
FrameOutputPtr MakeWebmOutput(const QString& path, const FrameOutputOptions& options);
FrameOutputPtr MakeApngOutput(const QString& path, const FrameOutputOptions& options);
FrameOutputPtr MakeWebpOutput(const QString& path, const FrameOutputOptions& options);

// The encoders' constant-quality settings for a quality of 0 to 100 (-1:
// the default, which is the encoder's own).
int Mp4Crf(int quality);
int WebmCrf(int quality);
