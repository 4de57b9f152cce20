// C streams as the file layer takes them: one over a file that closes
// itself, and one over bytes in memory.
#pragma once

#include <cstdint>
#include <cstdio>
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

// A stream that reads `bytes` from the start, or null. It may read the
// vector in place (one byte is appended past the content, which the stream
// does not show), so the vector must outlive the stream and stay unchanged.
// Close it with std::fclose.
FILE* OpenBytes(std::vector<uint8_t>& bytes);

}  // namespace VelpoTestSupport
