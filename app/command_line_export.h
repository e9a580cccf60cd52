#pragma once
// A project rendered from the command line into a movie or PICT frames, with
// no window and no display.
#include "app/command_line.h"

// Returns the program's exit status.
int RunCommandLineExport(const CommandLine& commandLine, int argc, char** argv);
