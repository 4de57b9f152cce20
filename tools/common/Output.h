// Output whose every write is checked: standard output and the files the
// commands write. A full disk, a closed pipe or /dev/full shows as a failure
// that names the output and the system's reason, never as a cut file and an
// exit status 0.
//
// Text is gathered in a buffer and handed to the stream in large pieces.
// After the first failed write nothing more is written; Flush reports it.
// Not thread-safe: one thread writes an output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/Result.h"

namespace VelpoTools {

class COutput {
public:
    // `name` is how messages call the output: "standard output" or a path.
    COutput(std::FILE* stream, std::string name);
    COutput(const COutput&) = delete;
    COutput& operator=(const COutput&) = delete;

    // False once any write to the stream has failed; callers with much
    // more to write stop then.
    bool Write(std::string_view text);
    bool Ok() const { return error_.empty(); }

    // Hands everything gathered to the stream and flushes it. Fails with
    // "<name>: <reason>" when this or any earlier write failed.
    Velpo::CResult Flush();

    const std::string& Name() const { return name_; }

    // Hands over what is gathered, then moves the stream to `position` from
    // its start, for a writer that fills a file out of order. False when
    // the stream cannot seek (a pipe) or an earlier write failed; a stream
    // that cannot seek stays usable at its position.
    bool Seek(int64_t position);

private:
    bool Send();
    void Failed(int error);

    std::FILE* stream_;
    std::string name_;
    std::string buffer_;
    std::string error_;
};

// The process's standard output, named "standard output".
COutput& StandardOutput();

}  // namespace VelpoTools
