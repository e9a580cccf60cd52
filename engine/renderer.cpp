// The frame loop: background once, then the object frame by frame into the
// one frame picture, each frame appended to the track.
#include "engine/renderer.h"

#include <algorithm>
#include <limits>

#include "engine/render_math.h"
#include "framework/system.h"
#include "framework/text.h"

namespace {
constexpr double kDegree = 0.017453292519943295;

// The number of frames a steps value makes: none below 1, and never more than
// a frame counter can count.
int LastFrame(double steps) {
  if (!(steps >= 1)) return 0;
  if (steps >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max() - 1;
  return static_cast<int>(steps);  // i <= steps for every whole i up to this
}
}  // namespace

void Renderer::Place(const RenderSettings& s, int i, double steps, double dx, double dy) {
  MotionInput in;
  in.kind = s.motion;
  in.steps = steps;
  in.dx = dx;
  in.dy = dy;
  in.rx = s.movieWidth / 2 - s.width / 2;
  in.ry = s.movieHeight / 2 - s.height / 2;
  in.alfa = s.startAngle * kDegree;
  in.beta = s.sweepAngle * kDegree;
  in.w = s.width;
  in.h = s.height;
  in.W = s.movieWidth;
  in.H = s.movieHeight;
  in.path = &s.path;
  MotionPosition(in, i, lastX_, lastY_, nullptr, [] { YieldToFramework(); });
}

void Renderer::DrawObject(Graphics& g, const RenderSettings& s, int i) const {
  const double X = lastX_, Y = lastY_;
  const double w = s.width, h = s.height, b = s.border;
  auto I = ToInteger;
  switch (s.object) {
    case kFilledOval: g.FillOval(I(X), I(Y), I(w), I(h)); break;
    case kFilledRect: g.FillRect(I(X), I(Y), I(w), I(h)); break;
    case kOvalOutline: g.DrawOval(I(X), I(Y), I(w), I(h)); break;
    case kRectOutline: g.DrawRect(I(X), I(Y), I(w), I(h)); break;
    case kTextObject: g.DrawString(Mid(s.text, i, 1), I(X), I(h + Y), 0, false); break;
    case kPictureOpaque:
    case kPictureTransparent:
      if (const Picture* pic = s.objectPicture.get())
        g.DrawPicture(*pic, I(X), I(Y), I(w), I(h), 0, 0, pic->Width(), pic->Height());
      break;
    case kFilledRoundRect: g.FillRoundRect(I(X), I(Y), I(w), I(h), I(w / 2), I(h / 2)); break;
    case kRoundRectOutline: g.DrawRoundRect(I(X), I(Y), I(w), I(h), I(w / 2), I(h / 2)); break;
    case kCircleInSquare:
      g.DrawOval(I(X + b), I(Y + b), I(w - b * 2), I(h - b * 2));
      g.DrawRect(I(X), I(Y), I(w), I(h));
      break;
    default: break;  // an unknown kind draws nothing; the frame is still appended
  }
}

void Renderer::SettleAsIfRendered(const RenderSettings& s) {
  const int last = LastFrame(s.steps);
  if (last < 1) return;
  Place(s, last, s.steps, PerFrameStep(s.movieWidth - s.width, s.steps),
        PerFrameStep(s.movieHeight - s.height, s.steps));
}

RenderResult Renderer::Render(const RenderSettings& s, Picture& frame, QTVideoTrack& track, const QString& moviePath,
                              FrameFolder* frames) {
  return RenderInto(s, frame, &track, moviePath, frames);
}

RenderResult Renderer::RenderFrames(const RenderSettings& s, Picture& frame, FrameFolder& frames,
                                    int pictureFormat) {
  return RenderInto(s, frame, nullptr, QString(), &frames, pictureFormat);
}

RenderResult Renderer::RenderInto(const RenderSettings& s, Picture& frame, QTVideoTrack* track,
                                  const QString& moviePath, FrameFolder* frames, int pictureFormat) {
  RenderResult result;
  if (stopped_) {
    result.status = RenderResult::Status::Stopped;
    return result;
  }
  rendering_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{rendering_};

  auto fail = [&](const QString& message) {
    result.status = RenderResult::Status::Failed;
    result.error = message;
    return result;
  };
  auto append = [&](int n) {
    if (!track || track->AppendPicture(frame)) return true;
    // The track's own error names the file and the frame that failed, which
    // may be an earlier one still being written when this one was handed in.
    const QString why = track->Error();
    fail(!why.isEmpty() ? why : "Movie not written: the frame was not taken (frame " + Str(n) + ") - " + moviePath);
    return false;
  };
  // Checked after every yield: quitting ends the render there.
  auto stopped = [&] {
    if (!stopped_) return false;
    result.status = RenderResult::Status::Stopped;
    return true;
  };

  // Eight frames a second.
  if (track) track->TimeScale = 8;

  // The background, painted once.
  Graphics& g = *frame.Graphics();
  g.ForeColor = s.backgroundColor;
  g.FillRect(0, 0, frame.Width(), frame.Height());
  if (const Picture* bg = s.backgroundPicture.get())
    g.DrawPicture(*bg, 0, 0, frame.Width(), frame.Height(), 0, 0, bg->Width(), bg->Height());

  // Colour, pen and text, set once for the whole render.
  g.ForeColor = s.objectColor;
  g.PenHeight = ToInteger(s.border);
  g.PenWidth = ToInteger(s.border);
  g.TextFont = s.font;
  g.TextSize = ToInteger(s.height);
  g.Bold = s.bold;
  g.Italic = s.italic;
  g.Underline = s.underline;

  // The background snapshot that erasing copies back from.
  PicturePtr snapshot = NewPicture(frame.Width(), frame.Height(), 32);
  if (!snapshot)
    return fail("Not enough memory to render a movie of " + Str(frame.Width()) + " x " + Str(frame.Height()) +
                " pixels.");
  snapshot->Graphics()->DrawPicture(frame, 0, 0);

  const double steps = s.steps;
  const double dx = PerFrameStep(s.movieWidth - s.width, steps);
  const double dy = PerFrameStep(s.movieHeight - s.height, steps);
  const int digits = frames ? FrameNameDigits(steps) : 0;
  const int last = LastFrame(steps);
  // Without a movie the erase pass would draw for nobody.
  const bool erasePass = s.mode == DrawingMode::CopyClear && track;
  const int total = erasePass && last <= std::numeric_limits<int>::max() / 2 ? 2 * last : last;
  auto report = [&](int n) {
    if (progress_) progress_(n, total);
  };
  report(0);
  auto restore = [&](int margin) {
    const int sx = ToInteger(lastX_ - margin), sy = ToInteger(lastY_ - margin);
    const int sw = ToInteger(s.width + 2 * margin), sh = ToInteger(s.height + 2 * margin);
    g.DrawPicture(*snapshot, sx, sy, sw, sh, sx, sy, sw, sh);
  };

  // The main pass. In "Move" the copy of the previous frame (of the previous
  // render, for the first frame) is erased with a margin of 10 pixels.
  for (int i = 1; i <= last; ++i) {
    if (s.mode == DrawingMode::Move) restore(10);
    Place(s, i, steps, dx, dy);
    if (stopped()) return result;
    DrawObject(g, s, i);
    if (!append(i)) return result;
    if (frames) {
      // Written under a hidden name; the user's file of this name stays
      // until the whole export is committed. The reason first, as a narrow
      // log field shows it, and the frame's own path once.
      const QString name = FrameFileName(i, digits, [] { YieldToFramework(); }) + PictureFileExtension(pictureFormat);
      const QString staged = frames->Stage(name);
      if (staged.isEmpty()) return fail("Frame not saved: " + frames->LastError() + " - " + frames->FinalPath(name));
      FolderItem file(staged);
      if (!file.SaveAsPicture(frame, pictureFormat))
        return fail("Frame not saved: " + file.LastError() + " - " + frames->FinalPath(name));
    }
    report(i);
    YieldToFramework();
    if (stopped()) return result;
  }

  // The erase pass wipes the trail copy by copy.
  if (erasePass) {
    for (int i = 1; i <= last; ++i) {
      Place(s, i, steps, dx, dy);
      if (stopped()) return result;
      restore(1);
      if (!append(last + i)) return result;
      report(std::min(last + i, total));
      YieldToFramework();
      if (stopped()) return result;
    }
  }
  return result;
}
