// The two export buttons: a QuickTime movie into a file the user names, and
// PICT frames into a folder the user chooses; and File > "Export As..".
#include "framework/dialogs.h"
#include "framework/folderitem.h"
#include "framework/text.h"
#include "document/animation_state.h"
#include "main_window/render_progress.h"
#include "main_window/window1.h"
#include "movie/output_formats.h"

std::vector<KeptFile> Window1::FilesAnExportKeeps() const {
  std::vector<KeptFile> kept = {{Document()->Path(), "the project being rendered"}};
  for (const auto& [picture, slot] : {std::pair{immagine, kObjectPictureSlot}, {sfondo, kBackgroundPictureSlot}})
    if (picture && !asciino[slot].isEmpty())
      kept.push_back({GetFolderItem(asciino[slot])->AbsolutePath(), "a picture of the project"});
  return kept;
}

void Window1::PushButton2_Action(int) {
  if (DeferIfRendering([this] { PushButton2_Action(-1); })) return;

  FolderItemPtr target = GetSaveFolderItem("video/quicktime", "movie.mov");
  // Only a movie, or nothing, is replaced by the movie: never a pipe or a
  // device, nor the project or a picture that the animation is drawn from.
  if (target) {
    if (const QString why = WhyNotReplace(target->AbsolutePath(), FilesAnExportKeeps()); !why.isEmpty()) {
      Log("Movie not written: " + why + " - " + target->AbsolutePath());
      return;
    }
  }
  f = target;
  if (!f) return;

  // A file already there stays until the new movie is finished, which then
  // takes its place in one step: an export that fails leaves it as it was.
  // Only what a finished movie cannot replace, a folder, has to go first.
  if (f->Exists() && f->Directory()) f->Delete();
  if (f->Exists() && f->Directory()) {
    // Telling the user the file went to the Trash when it did not would be a lie.
    if (!f->MoveFileTo(TrashFolder())) {
      Log("Existing file neither deleted nor moved to the Trash: " + f->LastError() + " - " + f->AbsolutePath());
      return;
    }
    MsgBox("Existing file just moved to trash. Please repeat command.");
    return;
  }

  PicturePtr frame = NewFramePicture();
  if (!frame || !StartMovie(f, frame->Width(), frame->Height(), "movie")) return;
  p = std::move(frame);
  track->SelectCompressionSettings(nullptr);
  Log("Movie saved at location: " + f->AbsolutePath());
  crea_movie(0);
}

void Window1::PushButton4_Action(int) {
  if (DeferIfRendering([this] { PushButton4_Action(-1); })) return;
  SelectFolderDialog dialog;
  dialog.ActionButtonCaption = "Select";
  dialog.Title = "Select a folder for saving frames";
  dialog.PromptText = "Browse folders or create a new folder";
  cartella = dialog.ShowModal();
  if (cartella) crea_preview(1);
}

void Window1::ExportAs() {
  if (DeferIfRendering([this] { ExportAs(); })) return;
  std::vector<const OutputFormat*> formats;
  std::vector<FileTypeChoice> types;
  for (const OutputFormat& format : OutputFormats())
    if (!format.folder) {
      formats.push_back(&format);
      types.push_back({format.label, format.extensions});
    }
  int type = -1;
  const FolderItemPtr file = CurrentDialogs().GetSaveFolderItemOfType(types, "movie.mov", &type);
  if (!file || type < 0 || type >= int(formats.size())) return;
  const OutputFormat& format = *formats[size_t(type)];
  // What the movie export refuses to replace, this refuses too.
  if (const QString why = WhyNotReplace(file->AbsolutePath(), FilesAnExportKeeps()); !why.isEmpty()) {
    Log("Movie not written: " + why + " - " + file->AbsolutePath());
    return;
  }

  ExportOptions choice;
  choice.offersLoop = format.loop;
  choice.offersQuality = format.quality;
  choice.offersLossless = format.lossless;
  choice.shownQuality = format.defaultQuality;
  if ((format.loop || format.quality || format.lossless) &&
      !CurrentDialogs().SelectExportOptions(format.label + " options", choice))
    return;
  FrameOutputOptions options;
  options.loopForever = choice.loopForever;
  options.quality = choice.quality;
  options.lossless = choice.lossless;

  // Rendered as the command line renders it, into a movie of its own: the
  // preview and its movie stay as they are. A file already there stays
  // until the new one is finished, and stays as it was when it is not.
  PicturePtr frame = NewFramePicture();
  if (!frame) return;
  const QString path = file->AbsolutePath();
  const EditableMoviePtr movie = CreateMovieAs(format, path, options);
  const QTVideoTrackPtr movieTrack = movie ? movie->NewVideoTrack(frame->Width(), frame->Height(), 1.0) : nullptr;
  if (!movie || !movieTrack || !movie->Error().isEmpty()) {
    Log(movie && !movie->Error().isEmpty() ? movie->Error() : "Cannot create the movie " + path);
    if (movie) movie->Discard();
    return;
  }
  renderProgress_->Begin();
  engine_.SetProgress([this](int done, int total) { renderProgress_->Update(done, total); });
  const RenderResult result = engine_.Render(CurrentSettings(), *frame, *movieTrack, path);
  engine_.SetProgress(nullptr);
  renderProgress_->End();
  if (!result.ok()) {
    if (!result.error.isEmpty()) Log(result.error);
    movie->Discard();
  } else if (const QString error = movie->Finish(); !error.isEmpty()) {
    Log(error);
  } else {
    Log("Movie saved at location: " + path);
  }
  if (!acting_) RunWaitingRequests();
}
