// The controls that choose by clicking: colour swatches, the background
// label, the object and motion buttons with their hover frames, and the
// drawing-mode buttons.
#include "framework/dialogs.h"
#include "framework/system.h"
#include "framework/text.h"
#include "main_window/window1.h"

bool Window1::Rectcolore_MouseDown(int index, int, int) {
  NameChange("Colour");
  Color c = RGB(0, 0, 0);
  if (SelectColor(c, "Select a color")) {
    Rectcolore[index]->SetFillColor(c);
    crea_preview(0);
  }
  return false;
}

void Window1::tStatic2_MouseEnter(int) {
  tStatic2->SetUnderline(true);
  tStatic2->SetBold(true);
}

void Window1::tStatic2_MouseExit(int) {
  tStatic2->SetUnderline(false);
  tStatic2->SetBold(false);
}

bool Window1::tStatic2_MouseDown(int, int, int) {
  NameChange(commandKey_ ? "Remove Background Picture" : "Background Picture");
  SetBackgroundFrom(commandKey_ ? nullptr : GetOpenFolderItem("special/any"));
  return false;
}

void Window1::SetBackgroundFrom(const FolderItemPtr& file) {
  asciino[kBackgroundPictureSlot] = "";
  sfondo = nullptr;
  if (file) {
    sfondo = file->OpenAsPicture();
    asciino[kBackgroundPictureSlot] = file->AbsolutePath();
    if (sfondo) {
      // The movie takes the picture's size.
      EditXY[kMovieWidth]->SetText(Str(sfondo->Width()));
      EditXY[kMovieHeight]->SetText(Str(sfondo->Height()));
    }
  }
  EditXY[kMovieWidth]->setEnabled(!sfondo);
  EditXY[kMovieHeight]->setEnabled(!sfondo);
  crea_preview(0);
}

namespace {
void Hover(Rectangle* mark, QWidget* button) {
  mark->move(button->x() - 1, mark->y());
  mark->move(mark->x(), button->y() - 1);
}
void Park(Rectangle* mark) { mark->move(-40, mark->y()); }
}  // namespace

void Window1::BevelB_MouseEnter(int index) { Hover(rettoboldo, BevelB[index]); }
void Window1::BevelB_MouseExit(int) { Park(rettoboldo); }
void Window1::BevelB_Action(int index) {
  NameChange(index == kTextObject                                         ? "Text"
             : index == kPictureOpaque || index == kPictureTransparent ? "Object Picture"
                                                                         : "Object");
  scelta_oggetto(index);
}

void Window1::BevelAnimation_MouseEnter(int index) { Hover(rettoboldo1, BevelAnimation[index]); }
void Window1::BevelAnimation_MouseExit(int) { Park(rettoboldo1); }
void Window1::BevelAnimation_Action(int index) {
  NameChange(index == kAlongPath ? "Path" : "Motion");
  scelta_movimento(index);
}

void Window1::RadioBu_Action(int) {
  if (!auto_) crea_preview(0);
}
