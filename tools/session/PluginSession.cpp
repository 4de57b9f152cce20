#include "tools/session/PluginSession.h"

#include <fmt/format.h>
#include <cstdio>

#include "host/core/Log.h"
#include "host/core/ObjectTable.h"
#include "host/runtime/NodeInstance.h"
#include "host/sdk/Enums.h"
#include "plugin/AttributeKinds.h"
#include "plugin/Ports.h"
#include "tools/common/Platform.h"
#include "tools/common/Text.h"

namespace VelpoTools {

namespace {

using Velpo::CResult;

CResult Ran(const std::string& node, const VelpoHost::CEvaluationResult& result) {
    if (!result.status) {
        return CResult::Fail(node + " could not be evaluated: " + result.status.Message());
    }
    return CResult::Ok();
}

}  // namespace

CPluginSession::~CPluginSession() {
    if (settingsId_ != 0) {
        VelpoHost::CObjectTable::Instance().Remove(settingsId_);
    }
}

CResult CPluginSession::Open(const std::string& pluginPath,
                             std::unique_ptr<CPluginSession>& session) {
    std::string path = pluginPath;
    if (path.empty()) {
        const std::filesystem::path folder = ExecutableFolder();
        if (folder.empty()) {
            return CResult::Fail(
                "cannot find the folder of the velpo executable to look for the plug-in; "
                "name it with --plugin");
        }
        path = (folder / PluginFileName()).string();
    }
    VelpoHost::CLog::Instance().SetEcho(false);
    std::unique_ptr<CPluginSession> opened(new CPluginSession());
    if (CResult loaded = VelpoHost::CPlugin::Load(path, opened->plugin_); !loaded) {
        return loaded;
    }
    session = std::move(opened);
    return CResult::Ok();
}

void CPluginSession::UseSettings(const CSettings& settings) {
    VelpoHost::CObjectTable& table = VelpoHost::CObjectTable::Instance();
    settingsId_ = settingsId_ ? table.Create(settingsId_) : table.Create();
    std::shared_ptr<VelpoHost::CHostObject> object = table.Find(settingsId_);
    auto text = [](const std::string& value) { return XSI::CValue(XSI::CString::FromUtf8(value)); };
    object->SetParameter("Path", text(settings.path));
    object->SetParameter("Step", XSI::CValue(settings.step));
    for (const CAttributeKind& kind : AttributeKinds) {
        const std::span<const std::string> names = settings.Names(kind);
        for (int32_t i = 0; i < kind.count; ++i) {
            object->SetParameter(kind.ParameterName(i), text(names[static_cast<size_t>(i)]));
        }
    }
}

CResult CPluginSession::Export(int32_t frame, uint32_t count,
                               std::vector<std::pair<uint32_t, VelpoHost::CInput>> inputs,
                               uint32_t threads) {
    VelpoHost::CNodeInstance node(plugin_, "VelpoExport");
    node.Connect(PortFrame, VelpoHost::CInput::Constant(frame));
    node.Connect(PortCount, VelpoHost::CInput::Constant(static_cast<int32_t>(count)));
    node.Connect(PortScop, VelpoHost::CInput::Constant(static_cast<int32_t>(settingsId_)));
    for (auto& [port, input] : inputs) {
        node.Connect(port, std::move(input));
    }
    VelpoHost::CEvaluateOptions options;
    options.outputs = {PortPosition};
    options.threads = threads;
    options.elementCount = count;
    return Ran("VelpoExport", node.Evaluate(options));
}

CResult CPluginSession::CountElements(int32_t frame, uint32_t& count) {
    count = 0;
    VelpoHost::CNodeInstance import(plugin_, "VelpoImport");
    import.Connect(PortFrame, VelpoHost::CInput::Constant(frame));
    import.Connect(PortImportScop, VelpoHost::CInput::Constant(static_cast<int32_t>(settingsId_)));
    VelpoHost::CEvaluateOptions importOptions;
    importOptions.outputs = {PortNumberOfElements};
    const VelpoHost::CEvaluationResult counted = import.Evaluate(importOptions);
    if (CResult ran = Ran("VelpoImport", counted); !ran) {
        return ran;
    }
    const auto number = counted.outputs.find(PortNumberOfElements);
    const auto* values = number == counted.outputs.end()
                             ? nullptr
                             : std::get_if<std::vector<int32_t>>(&number->second);
    count =
        values && !values->empty() ? static_cast<uint32_t>(values->front()) : counted.elementCount;
    return CResult::Ok();
}

VelpoHost::CEvaluationResult CPluginSession::EvaluateSetData(
    int32_t frame, const VelpoHost::CEvaluateOptions& options) {
    VelpoHost::CNodeInstance setData(plugin_, "VelpoSetData");
    setData.Connect(PortFrame, VelpoHost::CInput::Constant(frame));
    setData.Connect(PortScop, VelpoHost::CInput::Constant(static_cast<int32_t>(settingsId_)));
    return setData.Evaluate(options);
}

CResult CPluginSession::Import(int32_t frame, const std::vector<uint32_t>& ports, uint32_t threads,
                               CImportedFrame& imported) {
    imported = CImportedFrame();
    if (CResult counted = CountElements(frame, imported.count); !counted || imported.count == 0) {
        return counted;
    }
    VelpoHost::CEvaluateOptions options;
    options.outputs = ports;
    options.threads = threads;
    options.elementCount = imported.count;
    VelpoHost::CEvaluationResult result = EvaluateSetData(frame, options);
    if (CResult ran = Ran("VelpoSetData", result); !ran) {
        return ran;
    }
    // An output VelpoSetData never acquired holds no values of the file (it
    // had no record, say for a cache cut short); leaving it out lets the
    // caller report it rather than pass the runtime's fill pattern on.
    for (uint32_t port : result.acquiredOutputs) {
        imported.outputs[port] = std::move(result.outputs.at(port));
    }
    return CResult::Ok();
}

CResult CPluginSession::ImportWindows(
    int32_t frame, const std::vector<uint32_t>& ports, uint32_t threads, uint32_t window,
    const std::function<bool(const VelpoHost::COutputWindow&)>& receive, uint32_t& count) {
    if (CResult counted = CountElements(frame, count); !counted || count == 0) {
        return counted;
    }
    VelpoHost::CEvaluateOptions options;
    options.outputs = ports;
    options.threads = threads;
    options.elementCount = count;
    options.window.elements = window;
    options.window.receive = receive;
    return Ran("VelpoSetData", EvaluateSetData(frame, options));
}

CResult CPluginSession::ShowLog(CConsole& console) {
    std::string text;
    const CResult logged = LogText(VelpoHost::CLog::Instance().Take(), text);
    if (!text.empty()) {
        console.Write(CConsole::CStream::Err, text);
    }
    return logged;
}

CResult CPluginSession::LogText(const std::vector<VelpoHost::CLogEntry>& entries,
                                std::string& text) {
    uint32_t errors = 0;
    for (const VelpoHost::CLogEntry& entry : entries) {
        const bool isError = entry.severity == XSI::siErrorMsg;
        errors += isError ? 1 : 0;
        text += std::string("host log ") + (isError ? "error" : "info") + ": " +
                Escaped(entry.text) + "\n";
    }
    if (errors > 0) {
        return CResult::Fail(fmt::format("the nodes logged {} error{} (shown above)", errors,
                                         errors == 1 ? "" : "s"));
    }
    return CResult::Ok();
}

}  // namespace VelpoTools
