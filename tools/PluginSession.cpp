#include "tools/PluginSession.h"

#include <cstdio>

#include "host/core/Log.h"
#include "host/core/ObjectTable.h"
#include "host/runtime/NodeInstance.h"
#include "host/sdk/Enums.h"
#include "plugin/Ports.h"
#include "tools/Platform.h"

namespace VelpoTools {

std::string NumberedParameter(const char* prefix, size_t index) {
    return prefix + std::to_string(index);
}

CPluginSession::~CPluginSession() {
    if (settingsId_ != 0) {
        VelpoHost::CObjectTable::Instance().Remove(settingsId_);
    }
}

std::unique_ptr<CPluginSession> CPluginSession::Open(const std::string& pluginPath,
                                                     std::string& error) {
    std::string path = pluginPath;
    if (path.empty()) {
        const std::filesystem::path folder = ExecutableFolder();
        if (folder.empty()) {
            error =
                "cannot find the folder of the velpo executable to look for the plug-in; "
                "name it with --plugin";
            return nullptr;
        }
        path = (folder / PluginFileName()).string();
    }
    VelpoHost::CLog::Instance().SetEcho(false);
    std::unique_ptr<CPluginSession> session(new CPluginSession());
    session->plugin_ = VelpoHost::CPlugin::Load(path, error);
    if (!session->plugin_) {
        return nullptr;
    }
    return session;
}

void CPluginSession::UseSettings(const CSettings& settings) {
    VelpoHost::CObjectTable& table = VelpoHost::CObjectTable::Instance();
    settingsId_ = settingsId_ ? table.Create(settingsId_) : table.Create();
    std::shared_ptr<VelpoHost::CHostObject> object = table.Find(settingsId_);
    auto text = [](const std::string& value) { return XSI::CValue(XSI::CString::FromUtf8(value)); };
    object->SetParameter("Path", text(settings.path));
    object->SetParameter("Step", XSI::CValue(settings.step));
    for (size_t i = 0; i < settings.floatNames.size(); ++i) {
        object->SetParameter(NumberedParameter("Float", i), text(settings.floatNames[i]));
    }
    for (size_t i = 0; i < settings.longNames.size(); ++i) {
        object->SetParameter(NumberedParameter("Long", i), text(settings.longNames[i]));
    }
    for (size_t i = 0; i < settings.vectorNames.size(); ++i) {
        object->SetParameter(NumberedParameter("Vector", i), text(settings.vectorNames[i]));
    }
}

bool CPluginSession::Run(const std::string& node, const VelpoHost::CEvaluationResult& result,
                         std::string& error) const {
    if (!result.ok) {
        error = node + " could not be evaluated: " + result.error;
        return false;
    }
    return true;
}

bool CPluginSession::Export(int32_t frame, uint32_t count,
                            std::vector<std::pair<uint32_t, VelpoHost::CInput>> inputs,
                            uint32_t threads, std::string& error) {
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
    return Run("VelpoExport", node.Evaluate(options), error);
}

bool CPluginSession::Import(int32_t frame, const std::vector<uint32_t>& ports, uint32_t threads,
                            CImportedFrame& imported, std::string& error) {
    imported = CImportedFrame();
    VelpoHost::CNodeInstance import(plugin_, "VelpoImport");
    import.Connect(PortFrame, VelpoHost::CInput::Constant(frame));
    import.Connect(PortImportScop, VelpoHost::CInput::Constant(static_cast<int32_t>(settingsId_)));
    VelpoHost::CEvaluateOptions importOptions;
    importOptions.outputs = {PortNumberOfElements};
    const VelpoHost::CEvaluationResult counted = import.Evaluate(importOptions);
    if (!Run("VelpoImport", counted, error)) {
        return false;
    }
    const auto number = counted.outputs.find(PortNumberOfElements);
    const auto* values = number == counted.outputs.end()
                             ? nullptr
                             : std::get_if<std::vector<int32_t>>(&number->second);
    imported.count =
        values && !values->empty() ? static_cast<uint32_t>(values->front()) : counted.elementCount;
    if (imported.count == 0) {
        return true;
    }

    VelpoHost::CNodeInstance setData(plugin_, "VelpoSetData");
    setData.Connect(PortFrame, VelpoHost::CInput::Constant(frame));
    setData.Connect(PortScop, VelpoHost::CInput::Constant(static_cast<int32_t>(settingsId_)));
    VelpoHost::CEvaluateOptions options;
    options.outputs = ports;
    options.threads = threads;
    options.elementCount = imported.count;
    VelpoHost::CEvaluationResult result = setData.Evaluate(options);
    if (!Run("VelpoSetData", result, error)) {
        return false;
    }
    // An output VelpoSetData never acquired holds no values of the file (it
    // had no record, say for a cache cut short); leaving it out lets the
    // caller report it rather than pass the runtime's fill pattern on.
    for (uint32_t port : result.acquiredOutputs) {
        imported.outputs[port] = std::move(result.outputs.at(port));
    }
    return true;
}

uint32_t CPluginSession::ShowLog() {
    uint32_t errors = 0;
    for (const VelpoHost::CLogEntry& entry : VelpoHost::CLog::Instance().Take()) {
        const bool isError = entry.severity == XSI::siErrorMsg;
        errors += isError ? 1 : 0;
        std::fprintf(stderr, "host log %s: %s\n", isError ? "error" : "info", entry.text.c_str());
    }
    return errors;
}

}  // namespace VelpoTools
