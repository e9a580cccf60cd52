#include "app/application.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "app/command_line.h"
#include "app/command_line_export.h"
#include "app/desktop_identity.h"
#include "app/file_types.h"
#include "app/menubar.h"
#include "app/scratch_folder.h"
#include "framework/desktop_application.h"
#include "framework/folderitem.h"
#include "framework/native_path.h"
#include "framework/picture.h"
#include "framework/qt_dialogs.h"
#include "framework/quit_signals.h"
#include "framework/single_instance.h"
#include "framework/system.h"
#include "main_window/window1.h"
#include "movie/movie.h"

namespace {
// Made afresh by each start-up (tests start up many times) and freed with
// the program, or by the next start-up.
std::unique_ptr<App> g_app;
}

App* TheApp() { return g_app.get(); }

void App::Event_Open() { CleanUpScratchFolder(); }

void App::Event_Close() { CleanUpScratchFolder(); }

void App::Event_EnableMenuItems() {
  for (const char* name : {"FileOpen", "FileSaveas", "FileExportAs", "FileVelostripinfo"})
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
  // Later starts are no longer handed to this copy; one that comes while the
  // scratch folder is cleared waits for the clean-up before it starts.
  if (singleInstance_)
    singleInstance_->Stop([this] { Event_Close(); });
  else
    Event_Close();
  QCoreApplication::quit();
}

void ProvideWindowServices() {
  Window1::WindowServices services;
  services.quit = [] {
    if (App* app = TheApp()) app->Quit();
  };
  services.quitting = [] { return TheApp() && TheApp()->Quitting(); };
  services.scratchFolder = [] { return ScratchFolder(); };
  services.installMenus = [](QMainWindow* window) { MenuBar1::Instance()->InstallOn(window); };
  Window1::SetServices(std::move(services));
}

void QuitOnSignal() {
  App* app = TheApp();
  if (!app) return;
  auto* cancel = new QTimer(qApp);
  QObject::connect(cancel, &QTimer::timeout, cancel, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
      else
        modal->close();
    }
  });
  cancel->start(20);
  app->Quit();
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
  bar->Bind("FileExportAs", [] {
    if (Window1* w = Window1::InstanceIfOpen()) w->RunUserAction([w] { w->ExportAs(); });
    return false;
  });
  // The clean-up runs before the main window opens, so the previews that the
  // opening renders stay in the scratch folder while the program runs.
  g_app->Event_Open();
  g_app->Event_EnableMenuItems();
  ProvideWindowServices();
  Window1* w = Window1::Instance();
  w->show();
  return g_app.get();
}

namespace {

// What a later start hands over: the project it names, if any.
const QString kOpenMessage = QStringLiteral("open");

void Print(FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
  std::fflush(stream);
}

// Loads the project once the window is free, as File > "Open.." would.
void LoadWhenFree(const QString& project) {
  if (project.isEmpty()) return;
  if (Window1* w = Window1::InstanceIfOpen())
    w->RunUserAction([project] {
      if (App* app = TheApp()) app->LoadProject(GetFolderItem(project));
    });
}

// Whether another process can read the project by its name: not a pipe
// (`<(generate)`, /dev/stdin), a socket or a device, nothing under /dev/fd or
// /proc, which name the files of the process that looks. The window would
// read its own instead, or wait on it for ever.
bool ReadableByAnotherProcess(const QString& project) {
  if (!QDir::isAbsolutePath(project) || project.startsWith("/dev/") || project.startsWith("/proc/")) return false;
  struct stat st {};
  if (::stat(NativePath(project).constData(), &st) != 0) return true;  // the window says what is wrong
  return S_ISREG(st.st_mode) || S_ISDIR(st.st_mode);
}

// A later start's command line, in the running copy: the window comes to the
// front, and the project it names loads after what the window is doing.
void TakeHandOver(const QStringList& message) {
  Window1* w = Window1::InstanceIfOpen();
  const QString project = message.value(1);
  if (!w || message.value(0) != kOpenMessage || (!project.isEmpty() && !ReadableByAnotherProcess(project))) return;
  w->showNormal();
  w->raise();
  w->activateWindow();
  LoadWhenFree(project);
}

// Where the program was started, as the system names it.
QString WorkingFolder() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return QDir::currentPath();
    buffer.resize(buffer.size() * 2);
  }
  return PathFromNative(QByteArray(buffer.data()));
}

QString NoDisplayText() {
  QStringList tried;
  for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY"})
    if (const QString value = qEnvironmentVariable(name); !value.isEmpty())
      tried << QStringLiteral("%1=%2").arg(QLatin1String(name), value);
  const QString why = tried.isEmpty() ? QStringLiteral("neither DISPLAY nor WAYLAND_DISPLAY is set")
                                      : tried.join(", ") + " cannot be reached";
  return "There is no display to open the window on (" + why + "); --export renders a project with none.";
}

// What Qt says while it connects to the display, held until it is known
// whether the connection was made.
struct HeldMessage {
  QtMsgType type;
  QByteArray file, function, category;
  int line;
  QString text;
};
std::vector<HeldMessage>* g_heldMessages = nullptr;

void WhileOpeningTheDisplay(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg) {
    // Qt found no platform to show a window on: one line of ours instead of
    // its advice and an abort.
    Print(stderr, ForStandardError(NoDisplayText()));
    std::_Exit(1);
  }
  if (g_heldMessages)
    g_heldMessages->push_back({type, context.file, context.function, context.category, context.line, message});
}

// The application object on the display, with Qt's own options of the
// command line.
std::unique_ptr<DesktopApplication> OpenDisplay(int& argc, char** argv) {
  std::vector<HeldMessage> held;
  g_heldMessages = &held;
  const QtMessageHandler previous = qInstallMessageHandler(WhileOpeningTheDisplay);
  auto app = std::make_unique<DesktopApplication>(argc, argv);
  qInstallMessageHandler(previous);
  g_heldMessages = nullptr;
  for (const HeldMessage& m : held) {
    const QMessageLogContext context(m.file.isNull() ? nullptr : m.file.constData(), m.line,
                                     m.function.isNull() ? nullptr : m.function.constData(),
                                     m.category.isNull() ? nullptr : m.category.constData());
    if (previous) previous(m.type, context, m.text);
  }
  return app;
}

}  // namespace

int RunProgram(int argc, char** argv) {
  // Before any font is loaded, by the window or by a command-line export.
  MakeLargeTextRepeatable();
  // Names as the system has them: one that is not valid UTF-8 still names
  // its file.
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << PathFromNative(QByteArray(argv[i]));
  const CommandLine commandLine = ParseCommandLine(arguments, WorkingFolder());
  switch (commandLine.action) {
    case CommandLine::Action::Help:
    case CommandLine::Action::Version:
      Print(stdout, commandLine.text);
      return 0;
    case CommandLine::Action::UsageError:
      Print(stderr, commandLine.text);
      return 2;
    case CommandLine::Action::Export:
    case CommandLine::Action::ExportFrames:
      return RunCommandLineExport(commandLine, argc, argv);
    case CommandLine::Action::Window:
      break;
  }

  // Qt reads its own options alone: nothing of ours, nothing after "--".
  std::vector<QByteArray> qtArguments{QByteArray(argv[0])};
  for (const QString& argument : commandLine.qtArguments) qtArguments.push_back(NativePath(argument));
  std::vector<char*> qtArgv;
  for (QByteArray& argument : qtArguments) qtArgv.push_back(argument.data());
  qtArgv.push_back(nullptr);
  int qtArgc = int(qtArguments.size());
  const std::unique_ptr<DesktopApplication> qapp = OpenDisplay(qtArgc, qtArgv.data());
  QApplication::setApplicationName("Velostrip");
  ApplyDesktopIdentity();
  QApplication::setQuitOnLastWindowClosed(false);
  InstallDialogs(std::make_unique<QtDialogs>(RunCompressionDialog));
  int status = 0;
  try {
    // One copy per scratch folder: a copy already running takes this start's
    // project. The start-up runs under the hand-over's lock, so that a start
    // at the same moment waits for this window and then hands its project on.
    const QString scratch = ScratchFolder()->AbsolutePath();
    SingleInstance instance(QFileInfo(QFileInfo(scratch).absolutePath()).canonicalFilePath() + "/" +
                            QFileInfo(scratch).fileName());
    instance.OnMessage(TakeHandOver);
    instance.SetAccepting([] { return TheApp() && !TheApp()->Quitting(); });
    // A logout, `kill` or Ctrl+C quits as File > "Quit" does, asking nothing;
    // caught from the moment this copy is the window, acted on once the
    // window runs its event loop.
    std::unique_ptr<QuitSignals> quitSignals;
    // A project only this process can read stays here: the running window
    // only comes to the front.
    const bool handable = commandLine.project.isEmpty() || ReadableByAnotherProcess(commandLine.project);
    switch (instance.Start({kOpenMessage, handable ? commandLine.project : QString()}, [&] {
      quitSignals = std::make_unique<QuitSignals>();
      StartUp();
    })) {
      case SingleInstance::Outcome::HandedOver:
        if (handable) return 0;
        Print(stderr, ForStandardError("The window is already open and cannot read a project from a pipe: render it "
                                       "with --export, or save it to a file and open that."));
        return 1;
      case SingleInstance::Outcome::NotAnswering:
        // Its scratch folder stays as it is: it may come back.
        Print(stderr, ForStandardError(instance.Error()));
        return 1;
      case SingleInstance::Outcome::Failed:
        // Never a window without the check: a second one would clear the
        // first one's previews.
        Print(stderr, ForStandardError("The window was not opened: the one-window check cannot be made: " +
                                       instance.Error() + "."));
        return 1;
      case SingleInstance::Outcome::First:
        break;
    }
    TheApp()->SetSingleInstance(&instance);
    QTimer::singleShot(0, qapp.get(), [project = commandLine.project] { LoadWhenFree(project); });
    if (quitSignals)
      quitSignals->Watch([](int) { QuitOnSignal(); });
    status = QApplication::exec();
    if (quitSignals && quitSignals->Caught()) status = 128 + quitSignals->Caught();
    if (App* app = TheApp()) app->SetSingleInstance(nullptr);
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
