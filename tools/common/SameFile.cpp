#include "tools/common/SameFile.h"

#include <fmt/format.h>
#include <filesystem>
#include <system_error>

#include "tools/common/Text.h"

#if defined(_WIN32)
#include <windows.h>

#include "pdc/CacheFile.h"
#else
#include <sys/stat.h>
#endif

namespace VelpoTools {

namespace {

using Velpo::CResult;

// "id:<device>:<inode>" for a file that exists, links followed; empty when
// the name stands for no file that can be looked at.
std::string IdentityOf(const std::string& name) {
#if defined(_WIN32)
    const std::wstring wide = WidenFileName(name);
    HANDLE handle =
        CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::string();
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = GetFileInformationByHandle(handle, &information) != 0;
    CloseHandle(handle);
    if (!known) {
        return std::string();
    }
    const uint64_t index = (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    return fmt::format("id:{}:{}", information.dwVolumeSerialNumber, index);
#else
    struct stat status {};
    if (stat(name.c_str(), &status) != 0) {
        return std::string();
    }
    return fmt::format("id:{}:{}", static_cast<uint64_t>(status.st_dev),
                       static_cast<uint64_t>(status.st_ino));
#endif
}

std::filesystem::path PathOf(const std::string& name) {
#if defined(_WIN32)
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(name.data()), name.size()));
#else
    return std::filesystem::path(name);
#endif
}

// The identity of a file that exists, else "path:" and the name resolved
// as far as its folders exist and made plain after that.
std::string OutputKey(const std::string& name) {
    if (std::string identity = IdentityOf(name); !identity.empty()) {
        return identity;
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(PathOf(name), error);
    std::filesystem::path resolved = std::filesystem::weakly_canonical(absolute, error);
    if (error) {
        resolved = absolute.lexically_normal();
    }
    return "path:" + resolved.generic_string();
}

}  // namespace

void CInputFiles::Add(const std::string& file) {
    if (std::string identity = IdentityOf(file); !identity.empty()) {
        files_.emplace(std::move(identity), file);
    }
}

CResult CInputFiles::CheckOutput(const std::string& output) const {
    if (files_.empty()) {
        return CResult::Ok();
    }
    const auto input = files_.find(IdentityOf(output));
    if (input == files_.end()) {
        return CResult::Ok();
    }
    return CResult::Fail(Quoted(output) + " is the same file as the input " +
                         Quoted(input->second) + "; nothing was written");
}

CResult CheckDistinctOutputs(const std::vector<std::pair<int32_t, std::string>>& outputs) {
    std::map<std::string, std::pair<int32_t, const std::string*>> seen;
    for (const auto& [frame, name] : outputs) {
        const auto [earlier, added] = seen.try_emplace(OutputKey(name), frame, &name);
        if (!added) {
            return CResult::Fail(SharedOutputMessage(
                earlier->second.first, frame, *earlier->second.second,
                name == *earlier->second.second ? "" : Quoted(name) + " names it too"));
        }
    }
    return CResult::Ok();
}

std::string SharedOutputMessage(int32_t first, int32_t second, const std::string& file,
                                const std::string& why) {
    return fmt::format(
        "frames {} and {} would both be written to {}{}, so one would overwrite the other; "
        "nothing was written",
        first, second, file, why.empty() ? std::string() : " (" + why + ")");
}

}  // namespace VelpoTools
