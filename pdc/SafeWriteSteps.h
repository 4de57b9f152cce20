// The steps of a safe write (SafeWrite.h) that both platforms share, and
// the entry points each platform's file defines (SafeWritePosix.cpp,
// SafeWriteWindows.cpp). Internal to the file layer.
#pragma once

#include <cstdint>
#include <cstdio>
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

// What the platform's file defines; the public functions wrap them so that
// nothing thrown (std::bad_alloc) leaves.
bool Write(const std::string& target, const CFileWriter& write, CDurability durability,
           std::string& reason);
bool Probe(const std::string& target, uint64_t bytes, std::string& reason);
bool FlushToDisk(const std::string& file, std::string& reason);

}  // namespace PdcSafeWrite
