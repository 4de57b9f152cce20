#include "host/runtime/Plugin.h"

#include <filesystem>
#include <system_error>

#include "host/runtime/SharedLibrary.h"
#include "host/sdk/Registration.h"

namespace VelpoHost {

namespace {

using CLoadPluginEntry = XSI::CStatus (*)(XSI::PluginRegistrar&);

// Checked before the loader sees the file, so that the common mistakes get
// the same words on every platform.
CResult CheckFile(const std::string& path) {
    std::error_code code;
    std::filesystem::file_status status = std::filesystem::status(path, code);
    if (!std::filesystem::exists(status)) {
        return CResult::Fail(path + ": cannot load the plug-in: no such file");
    }
    if (std::filesystem::is_directory(status)) {
        return CResult::Fail(path + ": cannot load the plug-in: it is a folder, not a library");
    }
    // The loader would wait forever on a named pipe that no one writes.
    if (!std::filesystem::is_regular_file(status)) {
        return CResult::Fail(path + ": cannot load the plug-in: not a regular file");
    }
    return CResult::Ok();
}

// XSILoadPlugin of the library, run with a registrar that records into
// `definition`.
CResult Register(const std::string& path, void* library, CPluginDefinition& definition) {
    auto entry = reinterpret_cast<CLoadPluginEntry>(FindLibrarySymbol(library, "XSILoadPlugin"));
    if (!entry) {
        return CResult::Fail(path + ": not a plug-in: the library does not export XSILoadPlugin");
    }
    XSI::PluginRegistrar registrar(&definition);
    XSI::CStatus status = XSI::CStatus::Fail;
    try {
        status = entry(registrar);
    } catch (...) {
        return CResult::Fail(path + ": XSILoadPlugin threw an exception");
    }
    if (!status.Succeeded()) {
        return CResult::Fail(path + ": XSILoadPlugin failed with status " +
                             std::to_string(static_cast<int32_t>(status.GetCode())));
    }
    return CResult::Ok();
}

}  // namespace

CPlugin::~CPlugin() {
    CloseSharedLibrary(handle_);
}

CResult CPlugin::Load(const std::string& path, std::shared_ptr<CPlugin>& plugin) {
    plugin.reset();
    if (CResult found = CheckFile(path); !found) {
        return found;
    }
    void* handle = nullptr;
    if (CResult opened = OpenSharedLibrary(path, handle); !opened) {
        return CResult::Fail(path + ": cannot load the plug-in library: " + opened.Message());
    }
    // Owned from here on, so that a failure below closes the library.
    std::shared_ptr<CPlugin> loaded(new CPlugin());
    loaded->path_ = path;
    loaded->handle_ = handle;
    if (CResult registered = Register(path, handle, loaded->definition_); !registered) {
        return registered;
    }
    plugin = std::move(loaded);
    return CResult::Ok();
}

CResult CPlugin::Callbacks(const std::string& nodeName, CNodeCallbacks& callbacks) {
    std::lock_guard lock(mutex_);
    auto cached = callbacks_.find(nodeName);
    if (cached != callbacks_.end()) {
        callbacks = cached->second;
        return CResult::Ok();
    }
    const char* phases[] = {"_BeginEvaluate", "_Evaluate", "_EndEvaluate"};
    CNodeCallback* slots[] = {&callbacks.begin, &callbacks.evaluate, &callbacks.end};
    std::string missing;
    for (size_t i = 0; i < 3; ++i) {
        std::string symbol = nodeName + phases[i];
        *slots[i] = reinterpret_cast<CNodeCallback>(FindLibrarySymbol(handle_, symbol.c_str()));
        if (!*slots[i]) {
            missing += (missing.empty() ? "" : ", ") + symbol;
        }
    }
    if (!missing.empty()) {
        callbacks = CNodeCallbacks();
        return CResult::Fail(path_ + ": the library does not export " + missing);
    }
    callbacks_[nodeName] = callbacks;
    return CResult::Ok();
}

}  // namespace VelpoHost
