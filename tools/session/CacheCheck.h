// The check `velpo import` makes of a frame's cache before the nodes read
// it: the file layer's record walker steps over every record (values are
// stepped over, not read), so a missing, unreadable, truncated or forged
// file is refused with its reason, at no memory cost, before a count taken
// from it sizes anything.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "base/Result.h"
#include "tools/common/Settings.h"

namespace VelpoTools {

// Fails, naming the file and the problem, when the file
// - is missing, a folder, not a regular file or unreadable;
// - does not begin with "PDC " (not a PDC file: the nodes, which do not
//   test those bytes, would take whatever follows for counts);
// - is cut short or holds a forged length or count (the walker's checks:
//   every array record must fit its header's particle count in the bytes
//   left, so a forged count never passes with an array record);
// - claims a negative particle count, or more particles than `maxElements`,
//   the most the host runtime evaluates (a file of single values may claim
//   any count up to that: the nodes write such files);
// - ends with a record that holds only its name (the file layer takes the
//   records before it) when that name is one of `attributes` no record
//   fills: a cache cut short right after a name.
// A readable file may lack records: `unfilled` gets the attributes whose
// slot no record fills, in slot order, filled by the file layer's rule
// (pdc/SlotFilling.h). The nodes read such a file and deliver zeros for
// them.
Velpo::CResult CheckCacheFile(const std::filesystem::path& file,
                              const std::vector<CNamedAttribute>& attributes, uint32_t maxElements,
                              std::vector<CNamedAttribute>& unfilled);

}  // namespace VelpoTools
