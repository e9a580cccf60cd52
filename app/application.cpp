#include "app/application.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <csignal>
#include <memory>

#include "app/file_types.h"
#include "app/menubar.h"
#include "framework/desktop_application.h"
#include "framework/folderitem.h"
#include "framework/qt_dialogs.h"
#include "framework/system.h"
#include "main_window/window1.h"
#include "movie/movie.h"

namespace {
// Made afresh by each start-up (tests start up many times) and freed with
// the program, or by the next start-up.
std::unique_ptr<App> g_app;
}

App* TheApp() { return g_app.get(); }

void CleanUpScratchFolder() {
  FolderItemPtr folder = GetFolderItem("ftemp");
  if (!folder || !folder->Exists() || !folder->Directory()) return;
  // The program only ever makes a real folder here; a link to some other
  // folder is the user's, and its contents are not ours to delete.
  if (QFileInfo(folder->AbsolutePath()).isSymLink()) return;
  // The entries as they stand now, read once: deleting shifts the numbering,
  // and reading the folder again per entry made the clean-up quadratic.
  for (const FolderItemPtr& entry : folder->Entries()) {
    if (entry && entry->Exists()) entry->Delete();  // a failure leaves it for the Trash
    YieldToFramework();
  }
  folder->MoveFileTo(TrashFolder());
}

void App::Event_Open() { CleanUpScratchFolder(); }

void App::Event_Close() { CleanUpScratchFolder(); }

void App::Event_EnableMenuItems() {
  for (const char* name : {"FileOpen", "FileSaveas", "FileVelostripinfo"})
    if (MenuItemPtr item = MenuBar1::Instance()->Find(name)) item->Enable();
}

void App::Quit() {
  if (closed_) return;
  quitting_ = true;  // from now on no render starts
  Window1* w = Window1::InstanceIfOpen();
  if (w) w->StopForQuit();
  if (w && w->Busy()) {
    // Asked from inside a render's yield: the render ends at its next frame
    // and discards its movie; the clean-up follows as soon as it has returned.
    if (!quitPending_) {
      quitPending_ = true;
      QTimer::singleShot(5, &timers_, [this] {
        quitPending_ = false;
        Quit();
      });
    }
    return;
  }
  closed_ = true;
  // The throw-away scratch movie lives in the scratch folder: let it go first.
  if (w) {
    w->m = nullptr;
    w->track = nullptr;
  }
  Event_Close();
  QCoreApplication::quit();
}

App* StartUp() {
  // A file that reaches the size limit of the process (ulimit -f) is then a
  // write that fails with "File too large", which the movie or file being
  // written reports like a full disk, instead of a signal that ends the program.
  std::signal(SIGXFSZ, SIG_IGN);
  FileTypes::_Initialize();
  g_app = std::make_unique<App>();
  MenuBar1* bar = MenuBar1::Instance();
  bar->SetQuitHandler([] { g_app->Quit(); });
  bar->SetEnableMenuItemsHandler([] { g_app->Event_EnableMenuItems(); });
  // The File commands wait for a render or another request under way.
  auto asUserAction = [](bool (App::*handler)()) {
    return [handler] {
      if (Window1* w = Window1::InstanceIfOpen()) {
        w->RunUserAction([handler] { (g_app.get()->*handler)(); });
        return false;
      }
      return (g_app.get()->*handler)();
    };
  };
  bar->Bind("FileOpen", asUserAction(&App::_FileOpen_Action));
  bar->Bind("FileSaveas", asUserAction(&App::_FileSaveas_Action));
  bar->Bind("FileVelostripinfo", asUserAction(&App::_FileVelostripinfo_Action));
  // The clean-up runs before the main window opens, so the previews that the
  // opening renders stay in the scratch folder while the program runs.
  g_app->Event_Open();
  g_app->Event_EnableMenuItems();
  Window1* w = Window1::Instance();
  w->show();
  return g_app.get();
}

int RunProgram(int argc, char** argv) {
  DesktopApplication qapp(argc, argv);
  QApplication::setApplicationName("Velostrip");
  QApplication::setQuitOnLastWindowClosed(false);
  InstallDialogs(std::make_unique<QtDialogs>(RunCompressionDialog));
  int status = 0;
  try {
    StartUp();
    status = QApplication::exec();
  } catch (const std::exception& e) {
    qCritical("Velostrip: unhandled exception: %s", e.what());
    status = 1;
  } catch (...) {
    qCritical("Velostrip: unhandled exception");
    status = 1;
  }
  g_app.reset();
  return status;
}
