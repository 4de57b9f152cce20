// Which particles of a large frame are shown: a uniform subset that keeps
// the same particles from frame to frame. Each particle gets a key from its
// id (from its index in a file without ids), and the particles with the
// smallest keys are taken. A particle keeps its key wherever it moves in
// the file, so a particle shown in one frame is shown in the next as long
// as the count of particles stays about the same.
//
// Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <vector>

namespace VelpoTools {

// The key of an id: a 64-bit mix of its value. An id stored as a double
// (as the nodes write ids) has the key of the same integer stored as int32.
uint32_t IdKey(int64_t id);
uint32_t IdKey(double id);
// The key of a particle without an id.
uint32_t IndexKey(int64_t index);

// The indices (ascending) of the `budget` particles with the smallest keys;
// of equal keys the lower index first. All indices when keys.size() <=
// budget.
std::vector<int64_t> StableSubset(const std::vector<uint32_t>& keys, int64_t budget);

}  // namespace VelpoTools
