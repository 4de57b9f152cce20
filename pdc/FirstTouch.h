// Memory that a pass is about to write for the first time.
//
// Sizing an array for overwrite (CAttribute::ResizeForOverwrite) leaves its
// memory untouched, so the read or the copy that fills it is the first to
// touch each page, and each page costs a fault there. Where the system
// allows it, large arrays are backed by large pages, which cost one fault
// for hundreds of small ones.
#pragma once

#include <cstddef>

namespace PdcFirstTouch {

// A hint about the `bytes` at `data`, freshly sized and about to be
// written whole: ranges of a few megabytes and more may get large pages
// (Linux; nothing elsewhere). Never fails, never changes what the memory
// holds; safe from any thread.
void PrepareLargeArray(void* data, size_t bytes) noexcept;

}  // namespace PdcFirstTouch
