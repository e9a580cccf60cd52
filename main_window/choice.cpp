// Applying the user's choice of an object kind or a motion kind: the fields
// that the kind needs, its dialog, the selection mark and the previews.
#include "framework/dialogs.h"
#include "framework/system.h"
#include "framework/text.h"
#include "main_window/window1.h"
#include "path_editor/fin_path.h"
#include "text_composer/window2.h"

namespace {
bool IsOutline(int k) { return k == 2 || k == 3 || k == 8 || k == 9; }
}  // namespace

void Window1::scelta_oggetto(int k) {
  EditXY[5]->setEnabled(false);
  if (IsOutline(k)) EditXY[5]->setEnabled(true);
  EditXY[0]->setEnabled(true);
  if (k == 4) EditXY[0]->setEnabled(false);
  for (size_t j = 0; j < StaticT.size(); ++j) {
    StaticT[j]->setEnabled(EditXY[j]->isEnabled());
    YieldToFramework();
  }

  if (k == 5 || k == 6) {
    immagine = NewPicture(64, 64, 32);
    FolderItemPtr file = auto_ ? GetFolderItem(asciino[5]) : GetOpenFolderItem("special/any");
    PicturePtr picture = file && !(auto_ && asciino[5].isEmpty()) ? file->OpenAsPicture() : nullptr;
    if (!picture) {
      // A cancelled dialog or a file that is not a picture: back to the oval.
      asciino[5] = "";
      immagine = NewPicture(64, 64, 32);
      k = 0;
    } else {
      immagine = picture;
      asciino[5] = file->AbsolutePath();
      EditXY[0]->SetText(Str(picture->Width()));
      EditXY[1]->SetText(Str(picture->Height()));
      immagine->Transparent = k - 5;
    }
  }

  if (k == 4 && !auto_) ComposeText();

  oggetto = k;
  // A kind without a button (only from an edited project) leaves the mark where it is.
  if (k >= 0 && k < static_cast<int>(BevelB.size())) {
    rettopreso->move(rettopreso->x(), BevelB[k]->y() - 1);
    rettopreso->move(BevelB[k]->x() - 1, rettopreso->y());
  }
  crea_preview(0);
}

void Window1::scelta_movimento(int k) {
  const bool angles = k >= 2 && k <= 7;
  EditXY[6]->setEnabled(angles);
  EditXY[7]->setEnabled(angles);

  if (k == 8 && !auto_) {
    EditPath();
    if (percorso.Get(0, 0) == 0) k = 0;
  }

  EditXY[3]->setEnabled(k != 8);
  EditXY[4]->setEnabled(k != 8);

  if (k == 9) {
    RadioBu[2]->setEnabled(false);
    auto_ = true;
    if (RadioBu[2]->Value()) RadioBu[1]->SetValue(true);
    auto_ = false;
  } else {
    RadioBu[2]->setEnabled(true);
  }

  for (size_t j = 0; j < StaticT.size(); ++j) {
    EditXY[j]->SetText(EditXY[j]->Text());
    StaticT[j]->setEnabled(EditXY[j]->isEnabled());
    YieldToFramework();
  }

  crea_preview(0);
  movimento = k;
  if (k >= 0 && k < static_cast<int>(BevelAnimation.size())) {
    rettopreso1->move(rettopreso1->x(), BevelAnimation[k]->y() - 1);
    rettopreso1->move(BevelAnimation[k]->x() - 1, rettopreso1->y());
  }
  crea_preview(0);
}

void Window1::ComposeText() {
  const ComposedText composed = Window2::Instance(this, asciino[kTextSlot])->ShowModal();
  asciino[kTextSlot] = composed.text;
  asciino[kFontSlot] = composed.font;
  asciino[kBoldSlot] = composed.bold ? "true" : "false";
  asciino[kItalicSlot] = composed.italic ? "true" : "false";
  asciino[kUnderlineSlot] = composed.underline ? "true" : "false";
  EditXY[kSteps]->SetText(Str(Len(composed.text)));
}

void Window1::EditPath() {
  fin_path::Instance(this, &percorso)->ShowModal();
  // A finished path (three points or more) sizes the movie: its extent plus
  // the object's size, so the object stays inside it wherever its corner
  // goes along the path.
  if (!(percorso.Get(0, 0) > 2.0)) return;
  const int n = ToInteger(percorso.Get(0, 0));
  EditXY[kMovieWidth]->SetText(Str(percorso.Get(n + 1, 0) + Val(EditXY[kObjectWidth]->Text())));
  EditXY[kMovieHeight]->SetText(Str(percorso.Get(n + 1, 1) + Val(EditXY[kObjectHeight]->Text())));
}
