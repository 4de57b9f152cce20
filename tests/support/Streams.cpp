#include "tests/support/Streams.h"

namespace VelpoTestSupport {

CByteStream::CByteStream(const uint8_t* data, size_t size) : bytes_(data, data + size) {
#ifdef _WIN32
    // No memory streams on Windows: a temporary file, deleted when closed.
    file_ = std::tmpfile();
    if (file_) {
        std::fwrite(bytes_.data(), 1, bytes_.size(), file_);
        std::rewind(file_);
    }
#else
    // fmemopen refuses an empty buffer on some C libraries; one spare byte
    // past the size it is given keeps it valid.
    bytes_.push_back(0);
    file_ = fmemopen(bytes_.data(), size, "rb");
#endif
}

CByteStream::~CByteStream() {
    if (file_) {
        std::fclose(file_);
    }
}

std::string WrittenText(const std::function<void(FILE*)>& write) {
    FILE* file = std::tmpfile();
    if (!file) {
        return std::string();
    }
    write(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        text.append(buffer, got);
    }
    std::fclose(file);
    return text;
}

}  // namespace VelpoTestSupport
