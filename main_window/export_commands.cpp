// The two export buttons: a QuickTime movie into a file the user names, and
// PICT frames into a folder the user chooses.
#include "framework/dialogs.h"
#include "framework/folderitem.h"
#include "framework/text.h"
#include "document/animation_state.h"
#include "main_window/window1.h"

void Window1::PushButton2_Action(int) {
  if (DeferIfRendering([this] { PushButton2_Action(-1); })) return;

  FolderItemPtr target = GetSaveFolderItem("video/quicktime", "movie.mov");
  // Only a movie, or nothing, is replaced by the movie: never a pipe or a
  // device, nor a picture that the animation is drawn from.
  std::vector<KeptFile> kept;
  for (const auto& [picture, slot] : {std::pair{immagine, kObjectPictureSlot}, {sfondo, kBackgroundPictureSlot}})
    if (picture && !asciino[slot].isEmpty())
      kept.push_back({GetFolderItem(asciino[slot])->AbsolutePath(), "a picture of the project"});
  if (target) {
    if (const QString why = WhyNotReplace(target->AbsolutePath(), kept); !why.isEmpty()) {
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
