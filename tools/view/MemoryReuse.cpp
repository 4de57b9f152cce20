#include "tools/view/MemoryReuse.h"

// Any C library header says which library it is.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace VelpoTools {

void ReuseLargeBlocks() {
#if defined(__GLIBC__)
    // One pool for all threads: the server's threads take turns reading
    // frames, and a pool per thread would keep a frame per thread.
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
}

}  // namespace VelpoTools
