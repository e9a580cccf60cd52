#pragma once
// The animation engine: renders the frames of one animation into a movie
// track (and, for a frame export, into numbered PICT files).
#include <QString>
#include <functional>

#include "engine/motion.h"
#include "engine/render_settings.h"
#include "framework/folderitem.h"
#include "framework/frame_folder.h"
#include "framework/picture.h"
#include "movie/movie.h"

struct RenderResult {
  enum class Status {
    Finished,  // every frame appended
    Failed,    // see error; the movie must not be kept
    Stopped,   // Stop() was called; the movie must not be kept
  };
  Status status = Status::Finished;
  QString error;  // a sentence for the log, naming the file concerned
  bool ok() const { return status == Status::Finished; }
};

class Renderer {
 public:
  // Renders the animation: the background painted into frame once, then the
  // object placed and drawn frame by frame, each frame appended to track.
  // With frames every frame of the main pass is also saved there as a PICT
  // file (staged: the caller commits the folder once the render is done).
  // moviePath names the movie in error messages. Yields to the interface
  // once per frame.
  RenderResult Render(const RenderSettings& s, Picture& frame, QTVideoTrack& track, const QString& moviePath,
                      FrameFolder* frames = nullptr);
  // The same without a movie: only the frame files of the main pass are
  // written (and so only the main pass is drawn), as PICT files or in
  // another PictureFileFormat (PNG files are named "frame001.png").
  RenderResult RenderFrames(const RenderSettings& s, Picture& frame, FrameFolder& frames,
                            int pictureFormat = kPictFile);

  // Told once before the first frame (0 done) and after every frame that is
  // done (appended, and saved in a frame export): how many frames of this
  // render are done, and how many it makes in all. Calling Stop() from here
  // ends the render before the next frame.
  using Progress = std::function<void(int done, int total)>;
  void SetProgress(Progress progress) { progress_ = std::move(progress); }

  // Ends the render under way after its current frame. Every later render
  // ends at once too: this is for quitting.
  void Stop() { stopped_ = true; }
  bool Stopped() const { return stopped_; }
  bool Rendering() const { return rendering_; }

  // Where the object stands in frame i (1-based) of an animation with these
  // settings and per-frame advances; the position is kept as the last one.
  void Place(const RenderSettings& s, int i, double steps, double dx, double dy);

  // The object's top-left corner in the last frame placed. It carries from
  // one render into the next: a "Move" render first erases around it.
  double LastX() const { return lastX_; }
  double LastY() const { return lastY_; }
  // Takes the last position that a finished render of these settings leaves
  // (unchanged when it makes no frame), as if it had just been rendered.
  void SettleAsIfRendered(const RenderSettings& s);

 private:
  void DrawObject(Graphics& g, const RenderSettings& s, int i) const;
  RenderResult RenderInto(const RenderSettings& s, Picture& frame, QTVideoTrack* track, const QString& moviePath,
                          FrameFolder* frames, int pictureFormat = kPictFile);

  double lastX_ = 0, lastY_ = 0;
  bool stopped_ = false;
  bool rendering_ = false;
  Progress progress_;
};
