// The main window's side of rendering: the settings gathered from the
// controls, the movie to render into, and the finished movie shown in the
// preview player.
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <optional>
#include <vector>

#include "framework/folder_bound.h"
#include "framework/frame_folder.h"
#include "framework/system.h"
#include "framework/text.h"
#include "document/animation_state.h"
#include "main_window/preview_area.h"
#include "main_window/render_progress.h"
#include "main_window/window1.h"

QRect PlayerPlacement(int movieWidth, int movieHeight) {
  const double w = movieWidth, h = movieHeight;
  double s = Min(kPreviewSize / w, kPreviewSize / h);
  s = Min(s, 1.0);
  const int pw = ToInteger(w * s);
  const int ph = ToInteger(h * s);
  const int left = ToInteger(static_cast<double>(kPreviewSize - pw) / 2 + kPreviewLeft);
  const int top = ToInteger(static_cast<double>(kPreviewSize - ph) / 2 + kPreviewTop);
  return QRect(left, top, pw, ph);
}

namespace {
enum Swatch { kObjectSwatch = 0, kBackgroundSwatch = 1 };
}  // namespace

AnimationState Window1::CurrentState() const {
  AnimationState a;
  a.oggetto = oggetto;
  a.movimento = movimento;
  a.asciino = asciino;
  for (int k = 0; k < kNumberFields; ++k) a.fields[k] = EditXY[k]->Text();
  a.objectColor = Rectcolore[kObjectSwatch]->FillColor();
  a.backgroundColor = Rectcolore[kBackgroundSwatch]->FillColor();
  // "Copy" is the mode in which neither of the other two is on.
  a.mode = RadioBu[0]->Value() ? DrawingMode::Move : RadioBu[2]->Value() ? DrawingMode::CopyClear : DrawingMode::Copy;
  a.immagine = immagine;
  a.sfondo = sfondo;
  a.percorso = percorso;
  return a;
}

RenderSettings Window1::CurrentSettings() const { return SettingsOf(CurrentState()); }

void Window1::movimenti(int i, double steps, double dx, double dy) {
  engine_.Place(CurrentSettings(), i, steps, dx, dy);
}

bool Window1::DeferIfRendering(std::function<void()> request) {
  if (!engine_.Rendering()) return false;
  requests_.push_back({std::move(request), RequestKind::Action, commandKey_});
  return true;
}

bool Window1::MakeScratchFolder(FolderItemPtr& folder) {
  folder = Services().scratchFolder();
  if (folder->Exists() && !folder->Directory()) folder->Delete();
  if (!folder->Exists()) folder->CreateAsFolder();
  if (!folder->Exists() || !folder->Directory()) {
    Log("Scratch folder not made: " + folder->LastError() + " - " + folder->AbsolutePath());
    return false;
  }
  return true;
}

// Every preview stays in the scratch folder until quit, unless the folder
// grows past its bound (1 GiB, or a quarter of the free space): then the
// oldest go first, never the one shown nor the one being written.
void Window1::KeepPreviewsWithinBound() {
  const FolderItemPtr folder = Services().scratchFolder();
  const QString path = folder->AbsolutePath();
  if (!QFileInfo(path).isDir()) return;
  static const QRegularExpression kPreview(QStringLiteral("^temp(\\d+)\\.mov$"));
  std::vector<std::pair<qint64, QString>> previews;
  for (const QString& name : QDir(path).entryList(QDir::Files))
    if (const QRegularExpressionMatch match = kPreview.match(name); match.hasMatch())
      previews.emplace_back(match.captured(1).toLongLong(), name);
  std::sort(previews.begin(), previews.end());
  QStringList oldestFirst, keep;
  for (const auto& preview : previews) oldestFirst << preview.second;
  for (const QString& own : {f ? f->AbsolutePath() : QString(),
                             MoviePlayer1->GetMovie() ? MoviePlayer1->GetMovie()->Path() : QString()})
    if (QFileInfo(own).absolutePath() == QFileInfo(path).absoluteFilePath()) keep << QFileInfo(own).fileName();
  KeepFolderWithinBound(path, oldestFirst, keep);
}

PicturePtr Window1::NewFramePicture() {
  PicturePtr frame =
      NewPicture(ToInteger(Val(EditXY[kMovieWidth]->Text())), ToInteger(Val(EditXY[kMovieHeight]->Text())), 32);
  if (!frame)
    Log("Not enough memory for a frame of " + EditXY[kMovieWidth]->Text() + " x " + EditXY[kMovieHeight]->Text() +
        " pixels.");
  return frame;
}

bool Window1::StartMovie(const FolderItemPtr& file, int width, int height, const QString& what) {
  EditableMoviePtr movie = file->CreateMovie();
  QTVideoTrackPtr newTrack = movie ? movie->NewVideoTrack(width, height, 1.0) : nullptr;
  if (!movie || !newTrack || !movie->Error().isEmpty()) {
    // The movie's own message gives the reason first and the path once.
    Log(movie && !movie->Error().isEmpty() ? movie->Error() : "Cannot create the " + what + " " + file->AbsolutePath());
    if (movie) movie->Discard();
    return false;
  }
  // The window holds the only references, so that replacing them finishes the movie.
  m = std::move(movie);
  track = std::move(newTrack);
  return true;
}

void Window1::crea_preview(int flag) {
  if (DeferIfRendering([this, flag] { crea_preview(flag); })) return;
  // Once quitting has begun, no new preview goes into the scratch folder.
  if (Services().quitting() || engine_.Stopped()) return;

  PicturePtr frame = NewFramePicture();
  if (!frame) return;
  p = frame;

  FolderItemPtr folder;
  if (!MakeScratchFolder(folder)) return;
  f = folder;
  contatore = contatore + 1;
  f = folder->Child("temp" + Str(contatore) + ".mov");
  KeepPreviewsWithinBound();

  if (!StartMovie(f, p->Width(), p->Height(), "preview movie")) return;

  if (commandKey_) {
    track->SelectCompressionSettings(nullptr);
  } else {
    track->CompressionType = "raw ";
    track->Depth = 24;
    track->CompressionQuality = 100.0;
  }
  crea_movie(flag);
}

void Window1::crea_movie(int flag) {
  if (DeferIfRendering([this, flag] { crea_movie(flag); })) return;
  if (!p || !track || !m) return;
  // Held here as well, so nothing that runs while the render yields can pull
  // the movie or the pictures from under it.
  const EditableMoviePtr movie = m;
  const QTVideoTrackPtr movieTrack = track;
  const PicturePtr frame = p;
  const FolderItemPtr file = f;
  const FolderItemPtr folder = flag == 1 ? cartella : nullptr;
  const RenderSettings settings = CurrentSettings();
  // The frames are staged under hidden names and replace the folder's files
  // of the same names only once all are written; a failure, a stop or a
  // quit leaves the folder as it was.
  std::optional<FrameFolder> frames;
  if (folder) frames.emplace(folder->AbsolutePath());

  renderProgress_->Begin();
  engine_.SetProgress([this](int done, int total) { renderProgress_->Update(done, total); });
  RenderResult result =
      engine_.Render(settings, *frame, *movieTrack, file->AbsolutePath(), frames ? &*frames : nullptr);
  engine_.SetProgress(nullptr);
  renderProgress_->End();
  if (result.ok() && frames) {
    if (const QString error = frames->Commit(); !error.isEmpty()) {
      result.status = RenderResult::Status::Failed;
      result.error = error;
    }
  }
  frames.reset();  // abandoned unless committed

  if (!result.ok()) {
    // A failed or stopped movie is not kept: its file goes, and the previous
    // preview goes on playing.
    if (!result.error.isEmpty()) Log(result.error);
    movie->Discard();
    if (m == movie) m = nullptr;
    if (track == movieTrack) track = nullptr;
  } else {
    if (folder)
      Log(Str(settings.steps) + " frames saved into folder " + folder->Name() + " (located at " +
          folder->AbsolutePath() + ").");
    FinishMovie();
  }
  if (!acting_) RunWaitingRequests();
}

void Window1::FinishMovie() {
  // Finished here rather than by the release, so that a failure (a full disk
  // at the trailer, a name that cannot be given) reaches the log.
  if (const QString error = m->Finish(); !error.isEmpty()) {
    Log(error);
    m = nullptr;
    track = nullptr;
    return;  // nothing of it is left on disk; the previous preview keeps playing
  }
  FolderItemPtr scratch;
  const bool haveScratch = MakeScratchFolder(scratch);
  // The finished movie is let go: a throw-away movie in the scratch folder
  // stands in its place and its track's until the next render makes its own.
  if (haveScratch) {
    m = scratch->Child("temp_temp_scratch.mov")->CreateMovie();
    track = m ? m->NewVideoTrack(32, 32, 1.0) : nullptr;
    if (track) track->TimeScale = 8;
  } else {
    m = nullptr;
    track = nullptr;
  }

  MoviePtr shown = f->OpenAsMovie();
  if (!shown) {
    Log("Movie not shown: it cannot be read back - " + f->AbsolutePath());
    return;
  }
  MoviePlayer1->setGeometry(kPreviewLeft, kPreviewTop, kPreviewSize, kPreviewSize);
  MoviePlayer1->SetMovie(shown);
  KeepPreviewsWithinBound();
  const QRect r = PlayerPlacement(MoviePlayer1->width(), MoviePlayer1->height());
  MoviePlayer1->resize(r.size());
  MoviePlayer1->move(r.topLeft());
  update();
}
