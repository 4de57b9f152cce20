#include "AllocationProbe.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELPO_SANITIZER_OWNS_NEW 1
#endif
#endif

namespace {

std::atomic<bool> armed{false};
std::atomic<size_t> largest{0};

#if !defined(VELPO_SANITIZER_OWNS_NEW)
void* Allocate(size_t size) {
    if (armed.load(std::memory_order_relaxed)) {
        size_t seen = largest.load(std::memory_order_relaxed);
        while (size > seen && !largest.compare_exchange_weak(seen, size)) {
        }
    }
    if (void* block = std::malloc(size ? size : 1)) {
        return block;
    }
    throw std::bad_alloc();
}
#endif

}  // namespace

namespace AllocationProbe {

void Arm() {
    largest = 0;
    armed = true;
}

size_t Disarm() {
    armed = false;
    return largest;
}

bool Watching() {
#if defined(VELPO_SANITIZER_OWNS_NEW)
    return false;
#else
    return true;
#endif
}

}  // namespace AllocationProbe

#if !defined(VELPO_SANITIZER_OWNS_NEW)
// Replacing the global allocation functions is how the probe sees every
// request made through new, std::vector included.
void* operator new(size_t size) {
    return Allocate(size);
}
void* operator new[](size_t size) {
    return Allocate(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, size_t) noexcept {
    std::free(block);
}
// The nothrow forms too (std::stable_sort's buffer takes one): a block
// that one of them gave back is freed by the operator delete above, so both
// must come from the same heap.
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
#endif
