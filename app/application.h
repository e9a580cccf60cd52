#pragma once
// The application object: start-up and quit clean-up of the scratch folder,
// and the File commands.
#include <QObject>
#include <QString>

#include "framework/folderitem.h"

class SingleInstance;

class App {
 public:
  void Event_Open();
  void Event_Close();
  void Event_EnableMenuItems();
  bool _FileOpen_Action();
  bool _FileSaveas_Action();
  bool _FileVelostripinfo_Action();
  // Loads a project into the main window as File > "Open.." does once the
  // file is chosen; what goes wrong is written into the log field.
  void LoadProject(const FolderItemPtr& file);

  // Quits: the Close event, then the event loop ends. Runs once however often
  // asked. Asked during a render, it stops the render at its next frame
  // (discarding its movie), drops the requests waiting for it, and finishes
  // as soon as the render has returned.
  void Quit();
  bool Quitting() const { return quitting_; }
  // The channel through which later starts reach this copy; quitting closes
  // it before the scratch folder is cleared.
  void SetSingleInstance(SingleInstance* instance) { singleInstance_ = instance; }

 private:
  bool quitting_ = false;
  bool quitPending_ = false;
  bool closed_ = false;
  SingleInstance* singleInstance_ = nullptr;
  QObject timers_;  // context of the object's timers: they end with it
};

// Quits as File > "Quit" does and asks nothing: what a logout, `kill` or
// Ctrl+C asks of the window. A dialog open in front of the window, or one
// that comes up while it finishes, is cancelled, for the quit waits until
// the window is done with what it was doing.
void QuitOnSignal();

// The registered application object (nil before start-up).
App* TheApp();

// Hands the main window what it needs of the application: quitting, the
// scratch folder and the menu bar (StartUp does it before the window opens).
void ProvideWindowServices();

// Start-up in its fixed order: file types, the application object and its
// menu bar, the File handlers, the application's Open event, the main window.
// Returns the application object; the caller runs the event loop.
App* StartUp();
// The whole program: start-up, the event loop, quit.
int RunProgram(int argc, char** argv);
