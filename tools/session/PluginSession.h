// The plug-in loaded the way the host loads it, with one settings object,
// and the three nodes run on one frame at a time.
//
// Every evaluation builds fresh node instances, as a graph re-evaluated at a
// new frame would see them, so several frames may be evaluated at once from
// several threads. The host log is not echoed; ShowLog prints what the nodes
// logged since the last call, so messages appear next to the frame that
// caused them. Frames evaluated in parallel each open a CLogCapture and show
// what it took with LogText.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/Result.h"
#include "host/core/Log.h"
#include "host/runtime/Evaluation.h"
#include "host/runtime/Plugin.h"
#include "tools/common/Console.h"
#include "tools/common/Settings.h"

namespace VelpoTools {

struct CImportedFrame {
    uint32_t count = 0;                              // what VelpoImport reported
    std::map<uint32_t, VelpoHost::CValues> outputs;  // VelpoSetData's, by port ID
};

class CPluginSession {
public:
    ~CPluginSession();
    CPluginSession(const CPluginSession&) = delete;
    CPluginSession& operator=(const CPluginSession&) = delete;

    // `pluginPath` empty: the plug-in next to the executable. Fails naming
    // the file and the reason.
    static Velpo::CResult Open(const std::string& pluginPath,
                               std::unique_ptr<CPluginSession>& session);

    const VelpoHost::CPluginDefinition& Definition() const { return plugin_->Definition(); }
    const std::string& PluginPath() const { return plugin_->Path(); }

    // Creates or replaces the settings object that the nodes' Scop reads.
    void UseSettings(const CSettings& settings);

    // VelpoExport over `count` elements; `inputs` binds the per-point ports
    // (Frame, Count and Scop are bound here). Fails when the evaluation could
    // not run at all; what the node itself reports goes to the log.
    Velpo::CResult Export(int32_t frame, uint32_t count,
                          std::vector<std::pair<uint32_t, VelpoHost::CInput>> inputs,
                          uint32_t threads);

    // VelpoImport for the element count, then VelpoSetData over that many
    // elements, evaluating `ports`; `imported` holds only the ports that
    // VelpoSetData wrote.
    Velpo::CResult Import(int32_t frame, const std::vector<uint32_t>& ports, uint32_t threads,
                          CImportedFrame& imported);

    // The same, with VelpoSetData's outputs held for `window` elements at a
    // time (see VelpoHost::CEvaluateOptions::window): `receive` gets each
    // window in order, and nothing is kept, so the memory is that of the
    // node's own record and one window. `count` is what VelpoImport
    // reported; with 0 elements `receive` is never called. Fails, like
    // Import, when an evaluation could not run or `receive` stopped it.
    Velpo::CResult ImportWindows(
        int32_t frame, const std::vector<uint32_t>& ports, uint32_t threads, uint32_t window,
        const std::function<bool(const VelpoHost::COutputWindow&)>& receive, uint32_t& count);

    // Shows the log messages since the last call on the console's errors,
    // prefixed with their severity. Fails when any of them is an error: the
    // nodes report every failure that way and still return OK.
    Velpo::CResult ShowLog(CConsole& console);

    // The lines ShowLog would print for `entries`, added to `text`, and the
    // same result.
    static Velpo::CResult LogText(const std::vector<VelpoHost::CLogEntry>& entries,
                                  std::string& text);

private:
    CPluginSession() = default;

    // VelpoImport's element count for the frame.
    Velpo::CResult CountElements(int32_t frame, uint32_t& count);
    VelpoHost::CEvaluationResult EvaluateSetData(int32_t frame,
                                                 const VelpoHost::CEvaluateOptions& options);

    std::shared_ptr<VelpoHost::CPlugin> plugin_;
    uint32_t settingsId_ = 0;
};

}  // namespace VelpoTools
