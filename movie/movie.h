#pragma once
// QuickTime movies written and read with FFmpeg.
//
// An EditableMovie is made on a file by FolderItem::CreateMovie. Its video
// track takes pictures one by one; each lasts one tick of the track's time
// scale (time scale 8: eight frames a second). The movie is finished - its
// file complete, playable and under its name - by EditableMovie::Finish(), or,
// when nobody called that, when the movie and its track are released. Until
// then the file has no name (or, where the filesystem cannot do that, a hidden
// temporary one beside the target), so neither a failed movie nor a killed
// program leaves a file that claims to be one.
//
// Pictures are compressed and written by a thread of the movie's own while
// the caller draws the next one (small ones, which that would only slow down,
// within AppendPicture itself); a failure there is reported by a later
// AppendPicture (the error names the frame) and by Finish().
#include <QImage>
#include <QString>
#include <memory>

#include "framework/dialogs.h"
#include "framework/picture.h"
#include "movie/frame_output.h"

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
  // Empty while all is well; otherwise "Movie not written: <reason>
  // (<where>) - <path>": the reason first, as a narrow field shows it.
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
  // Finishes the movie now: writes what is still in flight and the trailer
  // and gives the file its name. Returns what went wrong (as Error() says
  // it), or an empty text when the movie is complete.
  // Later calls return the same; the track's AppendPicture then fails. A movie
  // released without this call is finished by the release, which can only
  // send a failure to the log.
  QString Finish();
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
// A movie whose track hands its frames to another format's output (see
// movie/output_formats.h) instead of writing a QuickTime file; path names it
// in messages. The track's compression settings do not apply.
EditableMoviePtr CreateMovieOn(FrameOutputPtr output, const QString& path);

// Keeps FFmpeg's own messages, its errors included, off stderr from now on:
// every failure reaches the caller as an Error() anyway. For a command line
// whose every line on stderr is its own. Call before any movie is made.
void QuietMovieLibraryLog();

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
