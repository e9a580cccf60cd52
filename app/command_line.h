#pragma once
// The program's command line, read once at the start, before any window or
// display: it decides whether the window opens (with a project to load) or a
// project is rendered with no window, and answers --help, --version and
// mistakes on its own.
#include <QString>
#include <QStringList>

#include "framework/dialogs.h"

struct CommandLine {
  enum class Action {
    Window,        // open the window; load `project` when one is named
    Help,          // print `text` on standard output, status 0
    Version,       // likewise
    UsageError,    // print `text` on standard error, status 2
    Export,        // render `project` into the movie `output`
    ExportFrames,  // render `project` into PICT frames in the folder `output`
  };
  Action action = Action::Window;
  QString project;  // absolute, resolved against the working folder; empty for none
  QString output;   // absolute, likewise
  CompressionSettings compression;  // of --export
  QString text;
  // Qt's own options (-platform NAME, -display NAME, -session ID ...), in
  // their order, for the application object of the window.
  QStringList qtArguments;
};

// Reads the arguments; arguments[0] is the program. Relative paths are
// resolved against workingFolder.
CommandLine ParseCommandLine(const QStringList& arguments, const QString& workingFolder);

// Each line of text, prefixed "velostrip: ": the form of everything the
// program says on standard error.
QString ForStandardError(const QString& text);
