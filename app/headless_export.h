#pragma once
// A project rendered from the command line, with no window and no display:
// into a QuickTime movie as "Export QuickTime Movie.." writes it, or into
// PICT frames as "Export Frames as PICTs.." writes them, for the project as
// File > "Open.." loads it into a freshly started window.
#include <QString>

#include "framework/dialogs.h"

struct HeadlessExport {
  QString project;       // the project file, as given (relative to the working folder)
  QString movie;         // the movie to write; empty for a frame export
  QString framesFolder;  // the folder for the PICT frames; empty for a movie export
  // The track's settings; the defaults are the compression dialog's at a
  // fresh start.
  CompressionSettings compression;
};

// Runs the export in this process and returns the program's exit status:
// 0 done, 1 the project could not be read or the output not made (the reason
// on stderr; nothing half-written is left), 130 or 143 stopped by SIGINT or
// SIGTERM at the next frame (nothing is left). Every line on stderr starts
// with "velostrip: "; when stderr is a terminal a progress line shows the
// frames done. Makes its own application object from argv[0].
int RunHeadlessExport(const HeadlessExport& job, int argc, char** argv);
