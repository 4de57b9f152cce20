// The one way the commands write a file: into a new file beside it, moved
// over the final name only when every byte is on disk. A reader never sees
// half a file, and a failure (a full disk, a folder that takes no new file)
// leaves the file that was there as it was, with no scrap left beside it.
#pragma once

#include <filesystem>
#include <functional>

#include "host/runtime/Result.h"
#include "tools/Output.h"

namespace VelpoTools {

// Creates a new file in the folder of `target`, lets `write` fill it, checks
// that every write, the flush and the close succeeded, and renames it over
// `target`. Fails, naming `target` and the system's reason, when any step
// fails, and when `target` exists but is not a regular file (a device such
// as /dev/full is never replaced).
VelpoHost::CResult WriteFileReplacing(const std::filesystem::path& target,
                                      const std::function<void(COutput&)>& write);

}  // namespace VelpoTools
