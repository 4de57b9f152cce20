#include "pdc/FirstTouch.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace PdcFirstTouch {

#if defined(__linux__) && defined(MADV_HUGEPAGE)

namespace {

constexpr uintptr_t LargePage = uintptr_t{2} << 20;

// Below this an array holds at most one whole large page, too little to be
// worth a system call.
constexpr size_t WorthAdvising = 2 * LargePage;

}  // namespace

void PrepareLargeArray(void* data, size_t bytes) noexcept {
    if (data == nullptr || bytes < WorthAdvising) {
        return;
    }
    // Only whole large pages inside the array: the advice must not reach
    // memory that other allocations share.
    const uintptr_t start = reinterpret_cast<uintptr_t>(data);
    const uintptr_t first = (start + LargePage - 1) & ~(LargePage - 1);
    const uintptr_t end = (start + bytes) & ~(LargePage - 1);
    if (end > first) {
        // A hint: a system without large pages refuses it, which is fine.
        madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
    }
}

#else

void PrepareLargeArray(void*, size_t) noexcept {}

#endif

}  // namespace PdcFirstTouch
