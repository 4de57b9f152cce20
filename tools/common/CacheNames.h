// The cache file names of a range of frames, as the nodes name them, and
// the settings whose names lose data: two frames sharing one file, or a
// "Path" whose dots the naming cuts inside a folder name.
#pragma once

#include <cstdint>
#include <string>

#include "base/Result.h"
#include "tools/common/Settings.h"

namespace VelpoTools {

// The cache file the nodes use for a frame, named as they name it.
std::string CacheFile(const CSettings& settings, int32_t frame);

// Fails, naming the first two frames of first..last that share a file and
// that file, when any two do: "Step" 0 with more than one frame, or a
// frame * step product that wraps modulo 2^32 onto another frame's. The
// whole range is checked at once, whatever its length: the name depends on
// the frame only through that product.
Velpo::CResult CheckDistinctCacheFiles(const CSettings& settings, int32_t first, int32_t last);

// The nodes cut "Path" before its second-to-last dot, counting dots in
// folder names too, so "../x/fluid" and "/cache/run.2/pts" lose folders.
// A warning naming "Path" and the first file that will be written when the
// cut reaches into a folder part; empty otherwise.
std::string FolderCutWarning(const CSettings& settings, int32_t first);

}  // namespace VelpoTools
