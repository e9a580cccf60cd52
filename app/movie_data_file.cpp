// File > "Open.." and "Save as..": the project file chosen, read into the
// main window or written from what it holds (the file itself is read and
// written in document/).
#include "app/application.h"
#include "document/project.h"
#include "framework/dialogs.h"
#include "framework/folderitem.h"
#include "framework/system.h"
#include "framework/text.h"
#include "main_window/window1.h"

namespace {

// Set while either command runs: the loops yield to the interface, and a
// second Open or Save chosen meanwhile must not interleave with the first.
bool g_fileCommandRunning = false;

struct CommandGuard {
  CommandGuard() { g_fileCommandRunning = true; }
  ~CommandGuard() { g_fileCommandRunning = false; }
  CommandGuard(const CommandGuard&) = delete;
  CommandGuard& operator=(const CommandGuard&) = delete;
};

// Clears the project-loading flag however the load ends.
struct LoadingFlag {
  explicit LoadingFlag(Window1* w) : w_(w) { w_->auto_ = true; }
  ~LoadingFlag() {
    if (Window1* w = Window1::InstanceIfOpen(); w == w_) w->auto_ = false;
  }
  LoadingFlag(const LoadingFlag&) = delete;
  LoadingFlag& operator=(const LoadingFlag&) = delete;
  Window1* w_;
};

}  // namespace

bool App::_FileSaveas_Action() {
  if (g_fileCommandRunning) {
    Beep();
    return false;
  }
  CommandGuard guard;
  FolderItemPtr file = GetSaveFolderItem("text", "movie_data.txt");
  if (!file) return false;

  const QString path = file->AbsolutePath();
  if (const std::optional<QString> reason = WriteProject(path, Window1::Instance()->CurrentState()))
    MsgBox(QStringLiteral("The project could not be saved as \"%1\".\n%2").arg(path, *reason));
  return false;
}

bool App::_FileOpen_Action() {
  if (g_fileCommandRunning) {
    Beep();
    return false;
  }
  CommandGuard guard;
  FolderItemPtr file = GetOpenFolderItem("text");
  if (!file) return false;
  LoadProject(file);
  return false;
}

void App::LoadProject(const FolderItemPtr& file) {
  // The whole file is read and checked before anything in the window changes.
  const ProjectRead read = ReadProject(file);
  if (!read.project) {
    Window1::Instance()->Log(read.error);
    return;
  }
  const Project& project = *read.project;
  Window1* w = Window1::Instance();

  LoadingFlag loading(w);
  w->sfondo = nullptr;
  w->immagine = nullptr;

  w->oggetto = project.oggetto;
  for (size_t i = 0; i < w->asciino.size(); ++i) {
    w->asciino[i] = project.asciino[i];
    YieldToFramework();
  }
  w->Rectcolore[0]->SetFillColor(project.objectColor);
  YieldToFramework();
  w->Rectcolore[1]->SetFillColor(project.backgroundColor);
  YieldToFramework();
  for (int k = 0; k < kNumberFields; ++k) {
    w->EditXY[k]->SetText(project.fields[k]);
    YieldToFramework();
  }

  if (!w->asciino[6].isEmpty()) {
    w->sfondo = nullptr;
    if (FolderItemPtr picture = GetFolderItem(w->asciino[6])) w->sfondo = picture->OpenAsPicture();
    if (w->sfondo) {
      w->EditXY[3]->SetText(Str(w->sfondo->Width()));
      w->EditXY[4]->SetText(Str(w->sfondo->Height()));
    }
    w->EditXY[3]->setEnabled(!w->sfondo);
    w->EditXY[4]->setEnabled(!w->sfondo);
  }

  w->scelta_oggetto(w->oggetto);

  w->movimento = project.movimento;
  w->RadioBu[project.mode]->SetValue(true);

  // The path table as loaded, row by row.
  const PathTable& path = project.percorso;
  w->percorso.Set(0, 0, path.Get(0, 0));
  w->percorso.Redim(path.RowUpper(), 1);
  for (int i = 1; i <= path.RowUpper(); ++i) {
    w->percorso.Set(i, 0, path.Get(i, 0));
    w->percorso.Set(i, 1, path.Get(i, 1));
    YieldToFramework();
  }

  w->scelta_movimento(project.chosenMotion);

  if (const QString end = project.EndMessage(); !end.isEmpty()) w->Log(end);
}
