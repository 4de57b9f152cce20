// The process's standard output and standard error as a console: what the
// subcommands hand to the libraries that run frames and draw progress.
#pragma once

#include "tools/common/Console.h"

namespace VelpoTools {

// Results go through StandardOutput() (tools/common/Output.h), so that a failed
// write (a full disk, a closed pipe) is remembered for the command's last
// word. Whatever goes first, what StandardOutput() gathered before is
// shown before it. Errors go to stderr.
CConsole& StandardConsole();

}  // namespace VelpoTools
