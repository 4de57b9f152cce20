#include "tests/support/HostSetup.h"

#include <cctype>
#include <cstdio>

#include "host/core/ObjectTable.h"
#include "host/sdk/CValue.h"
#include "plugin/AttributeKinds.h"

namespace VelpoTestSupport {

std::shared_ptr<VelpoHost::CPlugin> Plugin() {
    static const std::shared_ptr<VelpoHost::CPlugin> plugin = [] {
        VelpoHost::CLog::Instance().SetEcho(false);
        std::shared_ptr<VelpoHost::CPlugin> loaded;
        if (const Velpo::CResult done = VelpoHost::CPlugin::Load(VELPO_PLUGIN_PATH, loaded);
            !done) {
            std::fprintf(stderr, "%s\n", done.Message().c_str());
        }
        VelpoHost::CLog::Instance().Clear();  // "Velpo Loaded"
        return loaded;
    }();
    return plugin;
}

std::vector<VelpoHost::CLogEntry> TakeLog() {
    VelpoHost::CLog::Instance().SetEcho(false);
    return VelpoHost::CLog::Instance().Take();
}

uint32_t MakeSettings(const std::string& path, int32_t step,
                      const std::map<std::string, std::string>& names, std::optional<uint32_t> id) {
    VelpoHost::CObjectTable& table = VelpoHost::CObjectTable::Instance();
    const uint32_t created = table.Create(id);
    auto object = table.Find(created);
    object->SetParameter("Path", XSI::CValue(XSI::CString::FromUtf8(path)));
    object->SetParameter("Step", XSI::CValue(step));
    for (const auto& [parameter, name] : names) {
        object->SetParameter(parameter, XSI::CValue(XSI::CString::FromUtf8(name)));
    }
    return created;
}

std::map<std::string, std::string> AllNames() {
    std::map<std::string, std::string> names;
    for (const CAttributeKind& kind : AttributeKinds) {
        std::string stem = kind.TypeName();
        for (char& c : stem) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        for (int32_t i = 0; i < kind.count; ++i) {
            names[kind.ParameterName(i)] = stem + std::to_string(i);
        }
    }
    return names;
}

}  // namespace VelpoTestSupport
