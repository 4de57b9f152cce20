#include "tools/InputFile.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

namespace VelpoTools {

VelpoHost::CResult OpenForReading(const std::filesystem::path& file, CFilePointer& stream) {
    const std::string name = file.string();
    std::error_code code;
    const std::filesystem::file_status status = std::filesystem::status(file, code);
    if (status.type() == std::filesystem::file_type::not_found) {
        return VelpoHost::CResult::Fail("cannot be opened for reading: no such file");
    }
    // Some systems open a folder as a stream that fails only when read.
    if (std::filesystem::is_directory(status)) {
        return VelpoHost::CResult::Fail("is a folder, not a file");
    }
    errno = 0;
    stream.reset(std::fopen(name.c_str(), "rb"));
    if (!stream) {
        return VelpoHost::CResult::Fail("cannot be opened for reading: " +
                                        std::string(errno ? std::strerror(errno) : code.message()));
    }
    return VelpoHost::CResult::Ok();
}

}  // namespace VelpoTools
