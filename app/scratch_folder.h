#pragma once
// Where the preview movies live while the program runs.
//
// A copy that is installed (its program in a folder "bin" whose sibling
// "share/applications" holds the program's desktop entry, as an install or
// the package lays it out) never writes into its installation: its scratch
// folder is the user's cache, $XDG_CACHE_HOME/velostrip/ftemp. Any other copy
// keeps "ftemp" beside the program.
#include <QString>

#include "framework/folderitem.h"

// Whether the program runs from an installation (decided from the program's
// folder at run time, never from where the build meant to install it).
bool RunsInstalled();

// The scratch folder, made or not.
FolderItemPtr ScratchFolder();

// Empties the scratch folder at start-up and at quit. "ftemp" beside the
// program goes to the Trash once empty; the one in the user's cache is not
// the user's and is deleted with its entries. A plain file of that name, or a
// link, is left alone.
void CleanUpScratchFolder();
