#include "pdc/CacheFile.h"

#if defined(_WIN32)
#include <windows.h>
#endif

#if defined(_WIN32)

std::wstring WidenFileName(const std::string& name) {
    try {
        if (name.empty()) {
            return std::wstring();
        }
        const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(),
                                             static_cast<int>(name.size()), nullptr, 0);
        if (size <= 0) {
            return std::wstring();
        }
        std::wstring wide(static_cast<size_t>(size), L'\0');
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(),
                            static_cast<int>(name.size()), wide.data(), size);
        return wide;
    } catch (...) {
        return std::wstring();
    }
}

FILE* OpenCacheFile(const std::string& name, const char* mode) {
    const std::wstring wideName = WidenFileName(name);
    const std::wstring wideMode = WidenFileName(mode);
    if (wideName.empty() || wideMode.empty()) {
        return nullptr;
    }
    return _wfopen(wideName.c_str(), wideMode.c_str());
}

#else

FILE* OpenCacheFile(const std::string& name, const char* mode) {
    return std::fopen(name.c_str(), mode);
}

#endif
