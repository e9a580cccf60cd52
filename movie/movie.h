#pragma once
// QuickTime movies written and read with FFmpeg.
//
// An EditableMovie is made on a file by FolderItem::CreateMovie. Its video
// track takes pictures one by one; each lasts one tick of the track's time
// scale (time scale 8: eight frames a second). The movie is finished - its
// file complete and playable - when the movie and its track are released;
// nothing else needs to be called. Until then the data goes to a hidden
// temporary file beside the target, so a failed movie never leaves a file
// that claims to be one.
#include <QImage>
#include <QString>
#include <memory>

#include "framework/dialogs.h"
#include "framework/picture.h"

class MovieWriter;  // shared by a movie and its track; finishes the file when released

class QTVideoTrack {
 public:
  explicit QTVideoTrack(std::shared_ptr<MovieWriter> writer);
  ~QTVideoTrack();

  // Settings, read when the first picture is appended (or the movie finished).
  int TimeScale = 600;
  QString CompressionType = "raw ";  // "raw ", "rle ", "png ", "jpeg", "avc1"
  int Depth = 24;
  double CompressionQuality = 100.0;  // 0 to 100

  int Width() const;
  int Height() const;

  // The standard compression dialog; true when confirmed. Cancel keeps the settings.
  bool SelectCompressionSettings(const Picture* testImage = nullptr);
  // The picture's content becomes the next frame. False on failure (see Error()).
  bool AppendPicture(const Picture& picture);
  int FrameCount() const;
  // Empty while all is well; otherwise what went wrong, with the file's path.
  QString Error() const;

 private:
  std::shared_ptr<MovieWriter> writer_;
};

class EditableMovie {
 public:
  explicit EditableMovie(std::shared_ptr<MovieWriter> writer);
  ~EditableMovie();
  // A new empty track (a movie has one video track: a second call gives nil).
  // When the movie has failed (see Error()) the track still exists, but its
  // AppendPicture returns false.
  std::shared_ptr<QTVideoTrack> NewVideoTrack(int width, int height, double frameRate);
  QString Error() const;
  // The movie is not to be kept: its release removes what was written and
  // leaves no file behind (nor replaces an existing one).
  void Discard();

 private:
  std::shared_ptr<MovieWriter> writer_;
};

using EditableMoviePtr = std::shared_ptr<EditableMovie>;
using QTVideoTrackPtr = std::shared_ptr<QTVideoTrack>;

// Creates a movie on a file path (used by FolderItem::CreateMovie). Returns a
// movie even when the file cannot be made; its Error() then says why.
EditableMoviePtr CreateMovieAt(const QString& path);

// The codecs offered by the compression dialog, for the dialog and for tests.
struct CodecChoice {
  QString type;   // four-character code
  QString label;  // "None", "Animation", "PNG", "Photo - JPEG", "H.264"
  bool lossless;
  bool hasDepth;
};
QList<CodecChoice> AvailableCodecs();

// The compression dialog on Qt (used by QtDialogs).
bool RunCompressionDialog(CompressionSettings& settings);
