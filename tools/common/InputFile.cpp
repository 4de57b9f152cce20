#include "tools/common/InputFile.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "pdc/CacheFile.h"

namespace VelpoTools {

Velpo::CResult OpenForReading(const std::filesystem::path& file, CFilePointer& stream) {
#if defined(_WIN32)
    const std::u8string utf8 = file.u8string();
    const std::string name(utf8.begin(), utf8.end());
#else
    const std::string& name = file.native();
#endif
    bool notRegular = false;
    errno = 0;
    stream.reset(OpenInputFile(name, notRegular));
    if (stream) {
        return Velpo::CResult::Ok();
    }
    const int error = errno;
    if (error == EISDIR) {
        return Velpo::CResult::Fail("is a folder, not a file");
    }
    if (notRegular) {
        return Velpo::CResult::Fail("not a regular file");
    }
    if (error == ENOENT) {
        return Velpo::CResult::Fail("cannot be opened for reading: no such file");
    }
    return Velpo::CResult::Fail("cannot be opened for reading: " +
                                std::string(error != 0 ? std::strerror(error) : "unknown"));
}

}  // namespace VelpoTools
