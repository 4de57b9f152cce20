// A file written beside its final name and then renamed over it, the way
// the Export node writes a cache: a reader of the name sees the earlier file
// or the new one, never a part, and a failed write leaves the earlier file
// as it was and no temporary file behind.
//
// The file layer is to offer this to every writer; until then the module
// keeps its own, and only here.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace VelpoPython {

// `write` puts the whole content into the stream it is handed and says
// whether it could. False, with `reason` (what failed and the system's
// reason), when the temporary file cannot be created, written, flushed or
// closed, when it cannot be renamed over `target`, or when `target` exists
// and is not a regular file (a folder, a device): that is never replaced.
bool WriteBesideAndRename(const std::string& target, const std::function<bool(FILE*)>& write,
                          std::string& reason);

}  // namespace VelpoPython
