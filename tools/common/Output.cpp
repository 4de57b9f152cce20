#include "tools/common/Output.h"

#include <cerrno>
#include <cstring>

#include "pdc/FileOffset.h"

namespace VelpoTools {

namespace {

// Large enough that a dump of millions of values costs few system calls.
constexpr size_t SendBytes = 1 << 16;

}  // namespace

COutput::COutput(std::FILE* stream, std::string name) : stream_(stream), name_(std::move(name)) {}

bool COutput::Write(std::string_view text) {
    if (!Ok()) {
        return false;
    }
    if (text.size() < SendBytes) {
        buffer_.append(text);
        return buffer_.size() < SendBytes || Send();
    }
    // A large piece goes to the stream as it is, without a copy into the
    // buffer first.
    if (!Send()) {
        return false;
    }
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stream_) != text.size()) {
        Failed(errno);
    }
    return Ok();
}

bool COutput::Send() {
    if (buffer_.empty()) {
        return Ok();
    }
    errno = 0;
    const size_t written = std::fwrite(buffer_.data(), 1, buffer_.size(), stream_);
    if (written != buffer_.size()) {
        Failed(errno);
    }
    buffer_.clear();
    return Ok();
}

void COutput::Failed(int error) {
    if (Ok()) {
        // Some streams fail without setting errno; the error flag still says
        // that bytes were lost.
        error_ = error != 0 ? std::strerror(error) : "the system did not take every byte";
    }
}

bool COutput::Seek(int64_t position) {
    return Send() && PdcFileOffset::SeekTo(stream_, position);
}

Velpo::CResult COutput::Flush() {
    if (Send()) {
        errno = 0;
        if (std::fflush(stream_) != 0 || std::ferror(stream_)) {
            Failed(errno);
        }
    }
    if (!Ok()) {
        return Velpo::CResult::Fail(name_ + ": " + error_);
    }
    return Velpo::CResult::Ok();
}

COutput& StandardOutput() {
    static COutput output(stdout, "standard output");
    return output;
}

}  // namespace VelpoTools
