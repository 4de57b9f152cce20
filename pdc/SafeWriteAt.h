// A safe write (SafeWrite.h) whose bytes arrive at their offsets, in any
// order and from several threads at once, between a Begin and a Commit that
// may lie far apart: a node writes a frame's records as the host hands it
// the points, and no copy of the frame is gathered in memory on the way.
//
//   CSafeWriteAt file;
//   if (!file.Begin(target, size, reason)) { ... }
//   file.WriteAt(offset, bytes, count);         // from any thread
//   if (!file.Commit(size, durability, reason)) { ... }
//
// The file holds `size` zero bytes until written. Where SafeWriteFile would
// replace the target through a temporary file beside it, the bytes go
// straight to that file, which Commit renames over the target; every other
// target (a pipe, a device, a file with several names, one in a folder that
// takes no new files, every target on Windows) gets the file gathered in
// memory and handed to SafeWriteFile by Commit. Either way the target obeys
// SafeWriteFile's rules and promises: until Commit returns true it is the
// earlier file, whole, and a write that is never committed leaves no
// temporary file behind (except when the process is killed, as with any
// safe write).
//
// Errors: Begin fails when the target cannot be written (with SafeWriteFile's
// reasons) or the memory for the gathered file cannot be had; WriteAt and
// ReadAt report a refused write or read, and once one has failed Commit
// fails with its reason. Nothing logs or throws.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "pdc/SafeWrite.h"

namespace PdcSafeWrite {
class CPositionalWrite;
}

class CSafeWriteAt {
public:
    CSafeWriteAt();
    ~CSafeWriteAt();
    CSafeWriteAt(const CSafeWriteAt&) = delete;
    CSafeWriteAt& operator=(const CSafeWriteAt&) = delete;

    // Opens the write of `target` (UTF-8) as a file of `size` bytes. False,
    // with `reason` as SafeWriteFile gives it, when it cannot be written.
    bool Begin(const std::string& target, uint64_t size, std::string& reason);

    // `count` bytes at `offset`, which must lie within the size begun with.
    // Safe from several threads at once for ranges that do not overlap.
    bool WriteAt(uint64_t offset, const void* bytes, size_t count) noexcept;
    // What was written at `offset` (zero where nothing was), for a writer
    // that moves its own bytes; not at the same time as a WriteAt there.
    bool ReadAt(uint64_t offset, void* bytes, size_t count) noexcept;

    // Cuts the file to `size` bytes (no more than begun with) and puts it
    // under the target's name. False, with the reason, when that or any
    // earlier write failed; the target is then as it was.
    bool Commit(uint64_t size, CDurability durability, std::string& reason);

    // Gives the write up: the target stays as it was and no temporary file
    // is left. Returns false, with the reason of the first failed write or
    // read ("write failed" when none failed).
    bool Abandon(std::string& reason);

private:
    bool Failed(int error) noexcept;

    std::unique_ptr<PdcSafeWrite::CPositionalWrite> file_;
    uint64_t size_ = 0;
    std::atomic<int> error_{0};  // the first failure's errno, 0 while none
};
