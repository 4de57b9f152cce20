// Opening an address in the browser of the machine the command runs on.
// POSIX only.
#pragma once

#include <string>

#include "base/Result.h"

namespace VelpoTools {

// Starts xdg-open with `url` and returns without waiting for the browser.
// Fails, saying why, where there is no display (DISPLAY and WAYLAND_DISPLAY
// unset, as on a farm machine over SSH) or xdg-open cannot be started.
Velpo::CResult OpenInBrowser(const std::string& url);

}  // namespace VelpoTools
