#pragma once
// The movie data file (its layout is described in project_writer.cpp): read
// into a value of its own, that value applied with no window, and an
// animation's state written. File > "Open.." loads the value into the main
// window, the command line renders it as the main window would hold it once
// loaded: one reader, two users.
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>

#include "engine/path_table.h"
#include "framework/folderitem.h"
#include "framework/picture.h"
#include "document/animation_state.h"

// What a project file holds, checked for shape, each value brought inside
// the range the window knows.
struct Project {
  QString name;  // the file's name, for messages
  int oggetto = 0;
  std::array<QString, kTextSlots> asciino;
  Color objectColor = 0, backgroundColor = 0;
  NumberFieldTexts fields;  // as stored; the number-field filter has not seen them yet
  int movimento = 0;        // as stored
  int mode = 0;             // index of the drawing-mode button
  PathTable percorso;       // point count n in (0,0), rows 1 to n + 2
  // The motion that is chosen once loaded: the drawn path needs three points
  // to walk, so with fewer it falls back as the path editor would.
  int chosenMotion = 0;
  bool endsEarly = false;  // the file is shorter than its point count says
  bool repaired = false;   // some value was out of range
  // The message a load ends with ("ends early", "values out of range"), or
  // an empty text.
  QString EndMessage() const;
};

struct ProjectRead {
  std::optional<Project> project;
  // Why nothing was loaded: a sentence for the log.
  QString error;
};

// Reads and checks the whole file; nothing of a file that is plainly not a
// project (far too large, text where numbers belong, an absurd point count)
// is taken.
ProjectRead ReadProject(const FolderItemPtr& file);

// The state in which a freshly opened main window is left by loading the
// project as File > "Open.." loads it: the fields through the number-field
// filter in the order the load writes them, the background picture fixing
// the movie size, the object's picture read and sizing the object, the
// choice of object and motion with the project-loading flag set. Every
// message the window would write into its log on the way goes to log, in
// order.
AnimationState LoadedState(const Project& project, const std::function<void(const QString&)>& log);

// The lines of the file that holds the state.
QStringList ProjectFileLines(const AnimationState& state);

// Writes the state as a project file at path, in one step: a file already
// there is replaced only once the new one is complete. Nothing when all went
// well, else the reason it failed (a sentence for the user).
std::optional<QString> WriteProject(const QString& path, const AnimationState& state);
