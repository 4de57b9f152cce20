#include "tools/common/CacheNames.h"

#include <bit>

#include "host/sdk/CUtils.h"
#include "pdc/FileName.h"
#include "tools/common/SameFile.h"
#include "tools/common/Text.h"

namespace VelpoTools {

namespace {

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

}  // namespace

std::string CacheFile(const CSettings& settings, int32_t frame) {
    return GetFileName(XSI::CString::FromUtf8(settings.path), static_cast<uint32_t>(frame),
                       settings.step)
        .ToUtf8();
}

Velpo::CResult CheckDistinctCacheFiles(const CSettings& settings, int32_t first, int32_t last) {
    // Frames f and g share a file exactly when (g - f) * step is 0 modulo
    // 2^32, that is when g - f is a multiple of 2^(32 - z), z being the
    // number of trailing zero bits of step (all 32 for step 0).
    const uint32_t step = static_cast<uint32_t>(settings.step);
    const int32_t zeros = step == 0 ? 32 : std::countr_zero(step);
    const int64_t period = int64_t{1} << (32 - zeros);
    if (static_cast<int64_t>(last) - first < period) {
        return Velpo::CResult::Ok();
    }
    const int32_t second = static_cast<int32_t>(first + period);
    const std::string why =
        settings.step == 0
            ? "\"Step\" is 0"
            : "frame * \"Step\" " + std::to_string(settings.step) + " wraps around 2^32";
    return Velpo::CResult::Fail(
        SharedOutputMessage(first, second, CacheFile(settings, first), why));
}

std::string FolderCutWarning(const CSettings& settings, int32_t first) {
    const std::string resolved =
        XSI::CUtils::ResolvePath(XSI::CString::FromUtf8(settings.path)).ToUtf8();
    const std::string stem = CutDots(XSI::CString::FromUtf8(resolved)).ToUtf8();
    if (stem.size() >= resolved.size()) {
        return std::string();
    }
    bool cutsFolder = false;
    for (size_t at = stem.size(); at < resolved.size(); ++at) {
        cutsFolder = cutsFolder || IsSeparator(resolved[at]);
    }
    if (!cutsFolder) {
        return std::string();
    }
    return settings.file + ": \"Path\" " + Quoted(settings.path) +
           " is cut before its second-to-last dot, which lies in a folder name (the nodes "
           "count every dot of the path), so the files go elsewhere: the first is " +
           CacheFile(settings, first);
}

}  // namespace VelpoTools
