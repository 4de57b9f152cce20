// A plug-in library loaded the way the host loads one.
//
// Loading opens the shared library, calls its exported XSILoadPlugin with a
// registrar and keeps what the plug-in registered. A node's three callbacks
// are looked up by name in the library's exports when first asked for.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "host/core/Definitions.h"
#include "host/sdk/CStatus.h"
#include "host/sdk/ICENodeContext.h"

namespace VelpoHost {

using CNodeCallback = XSI::CStatus (*)(XSI::ICENodeContext&);

struct CNodeCallbacks {
    CNodeCallback begin = nullptr;
    CNodeCallback evaluate = nullptr;
    CNodeCallback end = nullptr;
};

class CPlugin {
public:
    ~CPlugin();
    CPlugin(const CPlugin&) = delete;
    CPlugin& operator=(const CPlugin&) = delete;

    // Null on failure, with error naming the file and the reason (cannot be
    // opened, no XSILoadPlugin, XSILoadPlugin returned a failure).
    static std::shared_ptr<CPlugin> Load(const std::string& path, std::string& error);

    const std::string& Path() const { return path_; }
    const CPluginDefinition& Definition() const { return definition_; }

    // <node>_BeginEvaluate, _Evaluate and _EndEvaluate. False, with error
    // naming the library and the missing symbol, when any is not exported.
    bool Callbacks(const std::string& nodeName, CNodeCallbacks& callbacks, std::string& error);

private:
    CPlugin() = default;

    std::string path_;
    void* handle_ = nullptr;
    CPluginDefinition definition_;
    std::mutex mutex_;
    std::map<std::string, CNodeCallbacks> callbacks_;
};

}  // namespace VelpoHost
