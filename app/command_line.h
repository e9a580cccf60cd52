#pragma once
// The program's command line, read once at the start, before any window or
// display: it decides whether the window opens (with a project to load) or a
// project is rendered with no window, and answers --help, --version and
// mistakes on its own.
#include <QString>
#include <QStringList>

#include "framework/dialogs.h"
#include "movie/frame_output.h"

struct CommandLine {
  enum class Action {
    Window,        // open the window; load `project` when one is named
    Help,          // print `text` on standard output, status 0
    Version,       // likewise
    UsageError,    // print `text` on standard error, status 2
    Export,        // render `project` into the movie `output`, in `format`
    ExportFrames,  // render `project` into frame files (`format`: pict or png) in the folder `output`
  };
  Action action = Action::Window;
  QString project;  // absolute, resolved against the working folder; empty for none
  QString output;   // absolute, likewise
  QString format;                   // an OutputFormat's id
  CompressionSettings compression;  // of a QuickTime movie
  FrameOutputOptions options;       // of the other formats
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
