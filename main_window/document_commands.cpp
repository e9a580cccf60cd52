// The main window and its document: the state the controls show kept as a
// change at the end of each request, Undo and Redo showing a state again,
// and a project loaded as one change.
#include <QKeyEvent>
#include <QPointer>
#include <QSignalBlocker>

#include "framework/system.h"
#include "framework/text.h"
#include "main_window/window1.h"

namespace {

// The names of the changes that the number fields make, by field.
const char* const kFieldChangeNames[kNumberFields] = {"Horizontal Size", "Vertical Size", "Steps",       "Width",
                                                      "Height",          "Border",        "Start Angle", "Animation Angle"};

// Clears the project-loading flag however the load ends.
class LoadingFlag {
 public:
  explicit LoadingFlag(Window1* w) : w_(w) { w_->auto_ = true; }
  ~LoadingFlag() {
    if (w_) w_->auto_ = false;
  }
  LoadingFlag(const LoadingFlag&) = delete;
  LoadingFlag& operator=(const LoadingFlag&) = delete;

 private:
  QPointer<Window1> w_;
};

bool IsUndoOrRedoKey(const QKeyEvent* key) {
  const QKeyCombination combination = key->keyCombination();
  return combination == QKeyCombination(Qt::ControlModifier, Qt::Key_Z) ||
         combination == QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z) ||
         combination == QKeyCombination(Qt::ControlModifier, Qt::Key_Y);
}

}  // namespace

void Window1::ShowState(const AnimationState& s) {
  oggetto = s.oggetto;
  movimento = s.movimento;
  asciino = s.asciino;
  immagine = s.immagine;
  sfondo = s.sfondo;
  percorso = s.percorso;
  for (int k = 0; k < kNumberFields; ++k) {
    {
      // The texts are the filter's own results: it does not run again.
      const QSignalBlocker block(EditXY[k]);
      EditXY[k]->setText(s.fields[k]);
    }
    EditXY[k]->setEnabled(s.fieldsOn[k]);
    StaticT[k]->setEnabled(s.fieldsOn[k]);
  }
  Rectcolore[0]->SetFillColor(s.objectColor);
  Rectcolore[1]->SetFillColor(s.backgroundColor);
  // The random motion leaves no trail to clear.
  RadioBu[2]->setEnabled(s.movimento != kRandom);
  {
    const bool loading = auto_;
    auto_ = true;  // a mode shown renders nothing
    RadioBu[ModeIndex(s.mode)]->SetValue(true);
    auto_ = loading;
  }
  if (s.oggetto >= 0 && s.oggetto < static_cast<int>(BevelB.size()))
    rettopreso->move(BevelB[s.oggetto]->x() - 1, BevelB[s.oggetto]->y() - 1);
  if (s.movimento >= 0 && s.movimento < static_cast<int>(BevelAnimation.size()))
    rettopreso1->move(BevelAnimation[s.movimento]->x() - 1, BevelAnimation[s.movimento]->y() - 1);
}

QString Window1::TypingChangeName() const {
  const AnimationState& kept = document_->State();
  for (int k = 0; k < kNumberFields; ++k)
    if (EditXY[k]->hasFocus() && EditXY[k]->Text() != kept.fields[k]) return kFieldChangeNames[k];
  for (int k = 0; k < kNumberFields; ++k)
    if (EditXY[k]->Text() != kept.fields[k]) return kFieldChangeNames[k];
  return QStringLiteral("Change");
}

void Window1::CommitChange(const QString& name) {
  document_->Change(name.isEmpty() ? TypingChangeName() : name, CurrentState(), previewsSinceChange_);
  previewsSinceChange_ = 0;
}

bool Window1::HoldsTyping() const {
  for (int k = 0; k < kNumberFields; ++k)
    if (EditXY[k]->hasFocus()) return EditXY[k]->Text() != document_->State().fields[k];
  return false;
}

void Window1::UndoChange() {
  RunUserAction([this] { document_->Undo(); });
}

void Window1::RedoChange() {
  RunUserAction([this] { document_->Redo(); });
}

void Window1::ShowRestoredState(int previews) {
  ShowState(document_->State());
  for (int i = 0; i < previews; ++i) crea_preview(0);
}

bool Window1::eventFilter(QObject* watched, QEvent* event) {
  // A number field takes Ctrl+Z for its own typing; with none to undo there,
  // the key goes to Edit > "Undo" and "Redo".
  if (event->type() == QEvent::ShortcutOverride && IsUndoOrRedoKey(static_cast<QKeyEvent*>(event)) &&
      !HoldsTyping()) {
    event->ignore();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void Window1::LoadProject(const Project& project, const QString& file) {
  LoadingFlag loading(this);
  sfondo = nullptr;
  immagine = nullptr;

  oggetto = project.oggetto;
  for (size_t i = 0; i < asciino.size(); ++i) {
    asciino[i] = project.asciino[i];
    YieldToFramework();
  }
  Rectcolore[0]->SetFillColor(project.objectColor);
  YieldToFramework();
  Rectcolore[1]->SetFillColor(project.backgroundColor);
  YieldToFramework();
  for (int k = 0; k < kNumberFields; ++k) {
    EditXY[k]->SetText(project.fields[k]);
    YieldToFramework();
  }

  if (!asciino[kBackgroundPictureSlot].isEmpty()) {
    sfondo = nullptr;
    if (FolderItemPtr picture = GetFolderItem(asciino[kBackgroundPictureSlot])) sfondo = picture->OpenAsPicture();
    if (sfondo) {
      EditXY[kMovieWidth]->SetText(Str(sfondo->Width()));
      EditXY[kMovieHeight]->SetText(Str(sfondo->Height()));
    }
    EditXY[kMovieWidth]->setEnabled(!sfondo);
    EditXY[kMovieHeight]->setEnabled(!sfondo);
  }

  scelta_oggetto(oggetto);

  movimento = project.movimento;
  RadioBu[project.mode]->SetValue(true);

  // The path table as loaded, row by row.
  const PathTable& path = project.percorso;
  percorso.Set(0, 0, path.Get(0, 0));
  percorso.Redim(path.RowUpper(), 1);
  for (int i = 1; i <= path.RowUpper(); ++i) {
    percorso.Set(i, 0, path.Get(i, 0));
    percorso.Set(i, 1, path.Get(i, 1));
    YieldToFramework();
  }

  scelta_movimento(project.chosenMotion);

  if (const QString end = project.EndMessage(); !end.isEmpty()) Log(end);
  CommitChange(QStringLiteral("Open Project"));
  document_->MarkSaved(file);
}
