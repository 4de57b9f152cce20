// The steps of a safe write (SafeWrite.h) that both platforms share, and
// the entry points each platform's file defines (SafeWritePosix.cpp,
// SafeWriteWindows.cpp). Internal to the file layer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "pdc/SafeWrite.h"

namespace PdcSafeWrite {

// `reason` becomes `text`; it keeps the earlier text when memory runs out.
void SetReason(std::string& reason, const char* text);

// The system's text for `error` (a general one for 0) as the reason; false.
bool Fail(std::string& reason, int error);

// Runs the writer, then flushes the stream (to the disk too for
// CDurability::Disk) and closes it, on every path. The reason is the first
// failure's: errno right after it.
bool WriteAndClose(std::FILE* file, const CFileWriter& write, CDurability durability,
                   std::string& reason);

// A writer that copies what is left of `source` into the stream it is
// handed.
CFileWriter CopyOf(std::FILE* source);

// The bytes of a safe write that arrive at their offsets, in any order and
// from any number of threads at once (SafeWriteAt.h). Destroyed without a
// successful Commit, it leaves the target as it was and no temporary file.
class CPositionalWrite {
public:
    virtual ~CPositionalWrite() = default;
    // The bytes at `offset`; false, with errno set, when the system refused
    // or took fewer of them.
    virtual bool WriteAt(uint64_t offset, const void* bytes, size_t count) = 0;
    // Reads back what was written (never past the size begun with).
    virtual bool ReadAt(uint64_t offset, void* bytes, size_t count) = 0;
    // The file cut to `size` bytes, flushed as `durability` asks and put
    // under the target's name.
    virtual bool Commit(uint64_t size, CDurability durability, std::string& reason) = 0;
};

// What the platform's file defines; the public functions wrap them so that
// nothing thrown (std::bad_alloc) leaves.
bool Write(const std::string& target, const CFileWriter& write, CDurability durability,
           std::string& reason);
bool Probe(const std::string& target, uint64_t bytes, std::string& reason);
bool FlushToDisk(const std::string& file, std::string& reason);
// A temporary file of `size` zero bytes beside the target, written where it
// lies and renamed over it: for a target that SafeWriteFile would replace.
// Null for any other target (a pipe, a device, a file written in place, one
// that cannot be written at all, or a platform that writes through a stream
// only): SafeWriteFile then decides what happens to it.
std::unique_ptr<CPositionalWrite> BeginReplacement(const std::string& target, uint64_t size);

}  // namespace PdcSafeWrite
