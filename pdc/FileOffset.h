// 64-bit positions in a standard stream, so that files beyond 2 GiB are
// measured right on every platform (32-bit Windows included).
#pragma once

#include <cstdint>
#include <cstdio>

namespace PdcFileOffset {

// The current position.
bool Tell(FILE* file, int64_t& position);

// Bytes from the current position to the end of the file. The position is
// left where it was. False when the stream cannot tell or seek (a pipe).
bool BytesLeft(FILE* file, int64_t& left);

// Moves `bytes` (>= 0) forward from the current position.
bool Skip(FILE* file, int64_t bytes);

// Moves to `position` (>= 0) from the start of the file.
bool SeekTo(FILE* file, int64_t position);

}  // namespace PdcFileOffset
