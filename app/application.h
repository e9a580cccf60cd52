#pragma once
// The application object: start-up and quit clean-up of the scratch folder,
// and the File commands.
#include <QObject>
#include <QString>

#include "framework/folderitem.h"

class SingleInstance;

// What a quit does with changes not saved: Ask (File > "Quit", the window's
// close box) asks whether to save them first and may be called off; Discard
// (a signal, a logout) quits without a word.
enum class UnsavedChanges { Ask, Discard };

class App {
 public:
  void Event_Open();
  void Event_Close();
  void Event_EnableMenuItems();
  bool _FileOpen_Action();
  bool _FileSaveas_Action();
  // File > "Save as..": true once the project is saved, false when the
  // dialog was cancelled or the file could not be written (with a message).
  bool SaveAs();
  bool _FileVelostripinfo_Action();
  // Loads a project into the main window as File > "Open.." does once the
  // file is chosen; what goes wrong is written into the log field.
  // With askFirst, a project that can be read is loaded only once the
  // question whether to save changes lets it.
  void LoadProject(const FolderItemPtr& file, bool askFirst = false);
  // File > "Open Recent": opens the project as File > "Open.." does; one that
  // is gone is taken off the list, with a message in the log.
  void OpenRecent(const QString& path);

  // Quits: the Close event, then the event loop ends. Runs once however often
  // asked. Asked during a render, it stops the render at its next frame
  // (discarding its movie), drops the requests waiting for it, and finishes
  // as soon as the render has returned. With Ask and changes not saved, the
  // question "Save changes to the animation?" comes first (once the render
  // has stopped); Cancel, or a save that does not happen, calls the quit off.
  void Quit(UnsavedChanges changes = UnsavedChanges::Discard);
  // Before the animation is replaced or dropped: when it differs from what
  // was last opened or saved, asks whether to save it first. True to go on
  // (saved, or "Don't Save"), false to stop there (cancelled, or the save
  // did not happen).
  bool SaveChangesFirst();
  bool Quitting() const { return quitting_; }
  // The channel through which later starts reach this copy; quitting closes
  // it before the scratch folder is cleared.
  void SetSingleInstance(SingleInstance* instance) { singleInstance_ = instance; }

 private:
  bool quitting_ = false;
  bool quitPending_ = false;
  bool asking_ = false;  // the question before quitting is on screen
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
// Loads the project once the window is free, as File > "Open.." would once
// the file is chosen (asking first whether to save changes): a project named
// on the command line or handed over by a later start.
void LoadWhenFree(const QString& project);
// The whole program: start-up, the event loop, quit.
int RunProgram(int argc, char** argv);
