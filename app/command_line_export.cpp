#include "app/command_line_export.h"

#include <cstdio>

int RunCommandLineExport(const CommandLine& /*commandLine*/, int /*argc*/, char** /*argv*/) {
  std::fputs(ForStandardError("Rendering from the command line is not available yet.").toLocal8Bit().constData(),
             stderr);
  return 1;
}
