// Reads and writes at an offset of a file, without moving its position, so
// that several threads may use one file at once (the slice writer and
// reader of the nodes). Each goes on until every byte has moved: the system
// may move fewer than asked, or be interrupted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// `count` bytes at `offset` of an open stream, read past its buffer. False
// at the end of the file or when the system fails (errno set on POSIX).
bool PdcReadAt(FILE* file, uint64_t offset, void* bytes, size_t count);

#if !defined(_WIN32)
// The same on a file descriptor, and its write.
bool PdcReadAt(int descriptor, uint64_t offset, void* bytes, size_t count);
bool PdcWriteAt(int descriptor, uint64_t offset, const void* bytes, size_t count);
#endif
