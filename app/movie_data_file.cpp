// File > "Open.." and "Save as..": the project file chosen, read into the
// main window or written from what it holds (the file itself is read and
// written in document/).
#include <QFileInfo>

#include "app/application.h"
#include "app/recent_projects.h"
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

}  // namespace

bool App::_FileSaveas_Action() {
  SaveAs();
  return false;
}

bool App::SaveAs() {
  if (g_fileCommandRunning) {
    Beep();
    return false;
  }
  CommandGuard guard;
  FolderItemPtr file = GetSaveFolderItem("text", "movie_data.txt");
  if (!file) return false;

  const QString path = file->AbsolutePath();
  Window1* w = Window1::Instance();
  if (const std::optional<QString> reason = WriteProject(path, w->CurrentState())) {
    MsgBox(QStringLiteral("The project could not be saved as \"%1\".\n%2").arg(path, *reason));
    return false;
  }
  // What is on disk now is the animation as it stands (typing included).
  w->CommitChange(QString());
  w->Document()->MarkSaved(path);
  RecentProjects::Add(path);
  return true;
}

bool App::_FileOpen_Action() {
  if (g_fileCommandRunning) {
    Beep();
    return false;
  }
  if (!SaveChangesFirst()) return false;
  CommandGuard guard;
  FolderItemPtr file = GetOpenFolderItem("text");
  if (!file) return false;
  LoadProject(file);
  return false;
}

void App::LoadProject(const FolderItemPtr& file, bool askFirst) {
  // The whole file is read and checked before anything in the window changes.
  const ProjectRead read = ReadProject(file);
  if (!read.project) {
    Window1::Instance()->Log(read.error);
    return;
  }
  if (askFirst && !SaveChangesFirst()) return;
  Window1::Instance()->LoadProject(*read.project, file->AbsolutePath());
  RecentProjects::Add(file->AbsolutePath());
}

void App::OpenRecent(const QString& path) {
  if (g_fileCommandRunning) {
    Beep();
    return;
  }
  if (!QFileInfo::exists(path)) {
    RecentProjects::Remove(path);
    Window1::Instance()->Log(
        QStringLiteral("\"%1\" is no longer there: it was taken off File > Open Recent.").arg(QFileInfo(path).fileName()));
    return;
  }
  LoadProject(GetFolderItem(path), true);
}
