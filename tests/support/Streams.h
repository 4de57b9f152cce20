// C streams as the file layer takes them: one over a file that closes
// itself, and one over bytes in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace VelpoTestSupport {

// std::fopen(path, mode), closed when the object goes unless Close came
// first. Get() is null when the file did not open.
class CFile {
public:
    CFile(const std::string& path, const char* mode) : file_(std::fopen(path.c_str(), mode)) {}
    ~CFile() { Close(); }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    FILE* Get() const { return file_; }
    operator FILE*() const { return file_; }
    // std::fclose's result; 0 when there was nothing to close.
    int Close() {
        const int result = file_ ? std::fclose(file_) : 0;
        file_ = nullptr;
        return result;
    }

private:
    FILE* file_;
};

// A read-only stream over a copy of `size` bytes at `data`, as a fuzz
// target hands its input to a reader of files; closed when the object goes.
// Get() is null when no stream could be made.
class CByteStream {
public:
    CByteStream(const uint8_t* data, size_t size);
    ~CByteStream();
    CByteStream(const CByteStream&) = delete;
    CByteStream& operator=(const CByteStream&) = delete;

    FILE* Get() const { return file_; }

private:
    std::vector<uint8_t> bytes_;
    FILE* file_ = nullptr;
};

// What `write` writes into a stream, read back whole once it returns: for
// code that writes to a FILE*. `write` gets a temporary stream; empty text
// when none can be made.
std::string WrittenText(const std::function<void(FILE*)>& write);

}  // namespace VelpoTestSupport
