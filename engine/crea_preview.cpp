// A new preview movie in the scratch folder, rendered and shown.
#include "app/application.h"
#include "framework/system.h"
#include "framework/text.h"
#include "main_window/window1.h"

bool Window1::DeferIfRendering(std::function<void()> request) {
  if (!rendering_) return false;
  deferred_ = std::move(request);
  return true;
}

void Window1::RunDeferred() {
  while (!rendering_ && deferred_) {
    auto request = std::move(deferred_);
    deferred_ = nullptr;
    request();
  }
}

void Window1::RunUserAction(std::function<void()> action) {
  if (acting_ || rendering_) {
    queuedAction_ = std::move(action);
    return;
  }
  acting_ = true;
  action();
  acting_ = false;
  RunQueuedAction();
}

void Window1::RunQueuedAction() {
  if (acting_ || rendering_ || !queuedAction_) return;
  auto action = std::move(queuedAction_);
  queuedAction_ = nullptr;
  RunUserAction(std::move(action));
}

bool Window1::MakeScratchFolder(FolderItemPtr& folder) {
  folder = GetFolderItem("ftemp");
  if (folder->Exists() && !folder->Directory()) folder->Delete();
  if (!folder->Exists()) folder->CreateAsFolder();
  if (!folder->Exists() || !folder->Directory()) {
    Log("Cannot create the scratch folder " + folder->AbsolutePath() + ": " + folder->LastError());
    return false;
  }
  return true;
}

PicturePtr Window1::NewFramePicture() {
  PicturePtr frame = NewPicture(ToInteger(Val(EditXY[3]->Text())), ToInteger(Val(EditXY[4]->Text())), 32);
  if (!frame) Log("Not enough memory for a frame of " + EditXY[3]->Text() + " x " + EditXY[4]->Text() + " pixels.");
  return frame;
}

bool Window1::StartMovie(const FolderItemPtr& file, int width, int height, const QString& what) {
  EditableMoviePtr movie = file->CreateMovie();
  QTVideoTrackPtr newTrack = movie ? movie->NewVideoTrack(width, height, 1.0) : nullptr;
  if (!movie || !newTrack || !movie->Error().isEmpty()) {
    Log("Cannot create the " + what + " " + file->AbsolutePath() + (movie ? ": " + movie->Error() : QString()));
    return false;
  }
  // The window holds the only references, so that replacing them finishes the movie.
  m = std::move(movie);
  track = std::move(newTrack);
  return true;
}

void Window1::crea_preview(int flag) {
  if (DeferIfRendering([this, flag] { crea_preview(flag); })) return;
  // Once quitting has emptied the scratch folder, no new preview goes there.
  if (App* app = TheApp(); app && app->Quitting()) return;

  PicturePtr frame = NewFramePicture();
  if (!frame) return;
  p = frame;

  FolderItemPtr folder;
  if (!MakeScratchFolder(folder)) return;
  f = folder;
  contatore = contatore + 1;
  f = folder->Child("temp" + Str(contatore) + ".mov");

  if (!StartMovie(f, p->Width(), p->Height(), "preview movie")) return;

  if (AsyncCommandKey()) {
    track->SelectCompressionSettings(nullptr);
  } else {
    track->CompressionType = "raw ";
    track->Depth = 24;
    track->CompressionQuality = 100.0;
  }
  crea_movie(flag);
}
