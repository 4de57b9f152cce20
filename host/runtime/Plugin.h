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

#include "base/Result.h"
#include "host/core/Definitions.h"
#include "host/sdk/CStatus.h"
#include "host/sdk/ICENodeContext.h"

namespace VelpoHost {

using Velpo::CResult;

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

    // The plug-in at `path` into `plugin`. Fails, leaving `plugin` null,
    // naming the file and the reason (cannot be opened, no XSILoadPlugin,
    // XSILoadPlugin threw or returned a failure).
    static CResult Load(const std::string& path, std::shared_ptr<CPlugin>& plugin);

    const std::string& Path() const { return path_; }
    const CPluginDefinition& Definition() const { return definition_; }

    // <node>_BeginEvaluate, _Evaluate and _EndEvaluate. Fails, naming the
    // library and every missing symbol, when any is not exported; the
    // callbacks are then all null. Safe from several threads.
    CResult Callbacks(const std::string& nodeName, CNodeCallbacks& callbacks);

private:
    CPlugin() = default;

    std::string path_;
    void* handle_ = nullptr;
    CPluginDefinition definition_;
    std::mutex mutex_;
    std::map<std::string, CNodeCallbacks> callbacks_;
};

}  // namespace VelpoHost
