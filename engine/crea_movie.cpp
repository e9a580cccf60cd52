// The frame renderer: background once, then the object frame by frame into
// the one frame picture, each frame appended to the track; the movie is then
// finished and shown in the preview player.
#include <QFileInfo>
#include <limits>

#include "engine/motion.h"
#include "engine/render_math.h"
#include "framework/system.h"
#include "framework/text.h"
#include "main_window/window1.h"

namespace {

// Frame numbers run as Integers; a steps value beyond them is cut there.
int LastFrame(double steps) {
  if (!(steps >= 1)) return 0;
  if (steps >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max() - 1;
  return static_cast<int>(steps);  // i <= steps for every whole i up to this
}

}  // namespace

void Window1::DrawObject(int i) {
  Graphics* g = p->Graphics();
  const double X = x1x, Y = y1y;
  const double w = Val(EditXY[0]->Text());
  const double h = Val(EditXY[1]->Text());
  const double b = Val(EditXY[5]->Text());
  auto I = ToInteger;
  switch (oggetto) {
    case 0: g->FillOval(I(X), I(Y), I(w), I(h)); break;
    case 1: g->FillRect(I(X), I(Y), I(w), I(h)); break;
    case 2: g->DrawOval(I(X), I(Y), I(w), I(h)); break;
    case 3: g->DrawRect(I(X), I(Y), I(w), I(h)); break;
    case 4: g->DrawString(Mid(asciino[0], i, 1), I(X), I(h + Y), 0, false); break;
    case 5:
    case 6:
      if (immagine)
        g->DrawPicture(*immagine, I(X), I(Y), I(w), I(h), 0, 0, immagine->Width(), immagine->Height());
      break;
    case 7: g->FillRoundRect(I(X), I(Y), I(w), I(h), I(w / 2), I(h / 2)); break;
    case 8: g->DrawRoundRect(I(X), I(Y), I(w), I(h), I(w / 2), I(h / 2)); break;
    case 9:
      g->DrawOval(I(X + b), I(Y + b), I(w - b * 2), I(h - b * 2));
      g->DrawRect(I(X), I(Y), I(w), I(h));
      break;
    default: break;
  }
}

void Window1::crea_movie(int flag) {
  if (DeferIfRendering([this, flag] { crea_movie(flag); })) return;
  if (!p || !track || !m) return;
  rendering_ = true;
  bool failed = false;
  // Should the movie and its track be let go while the render yields (quitting
  // does that), the render ends at once, finishing nothing and running no
  // waiting request.
  bool released = false;
  auto append = [&](int frame) {
    if (failed) return;
    if (!track || !m) {
      failed = released = true;
      return;
    }
    if (!track->AppendPicture(*p)) {
      failed = true;
      Log("Could not write frame " + Str(frame) + " of the movie " + f->AbsolutePath() + ": " + track->Error());
    }
  };

  // 1. Eight ticks a second.
  track->TimeScale = 8;

  // 2. The background, painted once.
  Graphics* g = p->Graphics();
  g->ForeColor = Rectcolore[1]->FillColor();
  g->FillRect(0, 0, p->Width(), p->Height());
  if (sfondo) g->DrawPicture(*sfondo, 0, 0, p->Width(), p->Height(), 0, 0, sfondo->Width(), sfondo->Height());

  // 3. Colour, pen and text, set once for the whole render.
  g->ForeColor = Rectcolore[0]->FillColor();
  g->PenHeight = ToInteger(Val(EditXY[5]->Text()));
  g->PenWidth = ToInteger(Val(EditXY[5]->Text()));
  g->TextFont = asciino[1];
  g->TextSize = ToInteger(Val(EditXY[1]->Text()));
  g->Bold = asciino[2] == "true";
  g->Italic = asciino[3] == "true";
  g->Underline = asciino[4] == "true";

  // 4. The background snapshot that erasing copies back from.
  PicturePtr snapshot = NewPicture(p->Width(), p->Height(), 32);
  if (!snapshot) {
    Log("Not enough memory to render a movie of " + Str(p->Width()) + " x " + Str(p->Height()) + " pixels.");
    failed = true;
  } else {
    snapshot->Graphics()->DrawPicture(*p, 0, 0);
  }

  // 5. The values of this render.
  const double steps = Val(EditXY[2]->Text());
  const double W = Val(EditXY[3]->Text());
  const double H = Val(EditXY[4]->Text());
  rx = W / 2 - Val(EditXY[0]->Text()) / 2;
  ry = H / 2 - Val(EditXY[1]->Text()) / 2;
  const double dx = PerFrameStep(W - Val(EditXY[0]->Text()), steps);
  const double dy = PerFrameStep(H - Val(EditXY[1]->Text()), steps);
  alfa = Val(EditXY[6]->Text()) * 0.017453292519943295;
  beta = Val(EditXY[7]->Text()) * 0.017453292519943295;
  const int digits = flag == 1 ? Len(Str(steps)) : 0;
  const int last = LastFrame(steps);

  // 6. The main pass.
  for (int i = 1; i <= last && !failed; ++i) {
    if (RadioBu[0]->Value()) {
      const double w = Val(EditXY[0]->Text()), h = Val(EditXY[1]->Text());
      const int sx = ToInteger(x1x - 10), sy = ToInteger(y1y - 10);
      const int sw = ToInteger(w + 20), sh = ToInteger(h + 20);
      g->DrawPicture(*snapshot, sx, sy, sw, sh, sx, sy, sw, sh);
    }
    movimenti(i, steps, dx, dy);
    DrawObject(i);
    append(i);
    if (flag == 1 && !failed && cartella) {
      FolderItemPtr file = cartella->Child(FrameFileName(i, digits, [] { YieldToFramework(); }));
      if (!file->SaveAsPicture(*p, 0)) {
        failed = true;
        Log("Could not save the frame " + file->AbsolutePath() + ": " + file->LastError());
      }
    }
    YieldToFramework();
  }

  // 7. The erase pass wipes the trail copy by copy.
  if (!failed && RadioBu[2]->Value()) {
    for (int i = 1; i <= last && !failed; ++i) {
      movimenti(i, steps, dx, dy);
      const double w = Val(EditXY[0]->Text()), h = Val(EditXY[1]->Text());
      const int sx = ToInteger(x1x - 1), sy = ToInteger(y1y - 1);
      const int sw = ToInteger(w + 2), sh = ToInteger(h + 2);
      g->DrawPicture(*snapshot, sx, sy, sw, sh, sx, sy, sw, sh);
      append(last + i);
      YieldToFramework();
    }
  }

  // 8. The summary of a frame export.
  if (flag == 1 && !failed && cartella)
    Log(Str(steps) + " frames saved into folder " + cartella->Name() + " (located at " + cartella->AbsolutePath() +
        ").");

  // 9. Finish the movie and show it.
  if (released || !track || !m) {
    rendering_ = false;
    deferred_ = nullptr;
    return;
  }
  if (failed) {
    // Releasing the failed movie removes what it had written; the previous
    // preview goes on playing.
    m = nullptr;
    track = nullptr;
  } else {
    FinishMovie();
  }
  rendering_ = false;
  RunDeferred();
  RunQueuedAction();
}

void Window1::FinishMovie() {
  FolderItemPtr scratch;
  const bool haveScratch = MakeScratchFolder(scratch);
  // Replacing the movie and its track releases them, which finishes the file.
  if (haveScratch) {
    m = scratch->Child("temp_temp_scratch.mov")->CreateMovie();
    track = m ? m->NewVideoTrack(32, 32, 1.0) : nullptr;
    if (track) track->TimeScale = 8;
  } else {
    m = nullptr;
    track = nullptr;
  }

  MoviePtr movie = f->OpenAsMovie();
  if (!movie) {
    Log("The movie " + f->AbsolutePath() + " could not be written completely.");
    return;
  }
  MoviePlayer1->setGeometry(kPreviewLeft, kPreviewTop, kPreviewSize, kPreviewSize);
  MoviePlayer1->SetMovie(movie);
  const QRect r = PlayerPlacement(MoviePlayer1->width(), MoviePlayer1->height());
  MoviePlayer1->resize(r.size());
  MoviePlayer1->move(r.topLeft());
  update();
}
