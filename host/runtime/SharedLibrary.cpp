#include "host/runtime/SharedLibrary.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace VelpoHost {

#ifdef _WIN32

namespace {

std::wstring Widen(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

std::string LastErrorText() {
    DWORD code = GetLastError();
    char* buffer = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length != 0 && buffer ? std::string(buffer, length) : std::string();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        text = "error " + std::to_string(code);
    }
    return text;
}

}  // namespace

CResult OpenSharedLibrary(const std::string& path, void*& library) {
    // LOAD_WITH_ALTERED_SEARCH_PATH finds the library's own dependencies
    // (the SDK DLL) next to it, as the host does for plug-ins.
    HMODULE module = LoadLibraryExW(Widen(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    library = module;
    if (!module) {
        return CResult::Fail(LastErrorText());
    }
    return CResult::Ok();
}

CLibrarySymbol FindLibrarySymbol(void* library, const char* name) {
    return reinterpret_cast<CLibrarySymbol>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseSharedLibrary(void* library) {
    if (library) {
        FreeLibrary(static_cast<HMODULE>(library));
    }
}

#else

CResult OpenSharedLibrary(const std::string& path, void*& library) {
    // dlopen searches the library path for a name without a slash.
    std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* text = dlerror();
        return CResult::Fail(text ? text : "unknown loader error");
    }
    return CResult::Ok();
}

CLibrarySymbol FindLibrarySymbol(void* library, const char* name) {
    return reinterpret_cast<CLibrarySymbol>(dlsym(library, name));
}

void CloseSharedLibrary(void* library) {
    if (library) {
        dlclose(library);
    }
}

#endif

}  // namespace VelpoHost
