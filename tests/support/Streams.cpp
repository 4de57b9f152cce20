#include "tests/support/Streams.h"

namespace VelpoTestSupport {

FILE* OpenBytes(std::vector<uint8_t>& bytes) {
#ifdef _WIN32
    // No memory streams on Windows: a temporary file, deleted when closed.
    FILE* file = std::tmpfile();
    if (file) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::rewind(file);
    }
    return file;
#else
    // fmemopen refuses an empty buffer on some C libraries; one spare byte
    // past the reported size keeps it valid.
    bytes.push_back(0);
    return fmemopen(bytes.data(), bytes.size() - 1, "rb");
#endif
}

}  // namespace VelpoTestSupport
