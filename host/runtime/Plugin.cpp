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
bool CheckFile(const std::string& path, std::string& error) {
    std::error_code code;
    std::filesystem::file_status status = std::filesystem::status(path, code);
    if (!std::filesystem::exists(status)) {
        error = path + ": cannot load the plug-in: no such file";
        return false;
    }
    if (std::filesystem::is_directory(status)) {
        error = path + ": cannot load the plug-in: it is a folder, not a library";
        return false;
    }
    return true;
}

}  // namespace

CPlugin::~CPlugin() {
    CloseSharedLibrary(handle_);
}

std::shared_ptr<CPlugin> CPlugin::Load(const std::string& path, std::string& error) {
    error.clear();
    if (!CheckFile(path, error)) {
        return nullptr;
    }
    std::string reason;
    void* handle = OpenSharedLibrary(path, reason);
    if (!handle) {
        error = path + ": cannot load the plug-in library: " + reason;
        return nullptr;
    }
    std::shared_ptr<CPlugin> plugin(new CPlugin());
    plugin->path_ = path;
    plugin->handle_ = handle;

    auto entry = reinterpret_cast<CLoadPluginEntry>(FindLibrarySymbol(handle, "XSILoadPlugin"));
    if (!entry) {
        error = path + ": not a plug-in: the library does not export XSILoadPlugin";
        return nullptr;
    }
    XSI::PluginRegistrar registrar(&plugin->definition_);
    XSI::CStatus status = XSI::CStatus::Fail;
    try {
        status = entry(registrar);
    } catch (...) {
        error = path + ": XSILoadPlugin threw an exception";
        return nullptr;
    }
    if (!status.Succeeded()) {
        error = path + ": XSILoadPlugin failed with status " +
                std::to_string(static_cast<int32_t>(status.GetCode()));
        return nullptr;
    }
    return plugin;
}

bool CPlugin::Callbacks(const std::string& nodeName, CNodeCallbacks& callbacks,
                        std::string& error) {
    std::lock_guard lock(mutex_);
    auto cached = callbacks_.find(nodeName);
    if (cached != callbacks_.end()) {
        callbacks = cached->second;
        return true;
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
        error = path_ + ": the library does not export " + missing;
        callbacks = CNodeCallbacks();
        return false;
    }
    callbacks_[nodeName] = callbacks;
    return true;
}

}  // namespace VelpoHost
