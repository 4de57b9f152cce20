#include "tools/PortColumns.h"

#include "host/sdk/Enums.h"
#include "plugin/Ports.h"
#include "tools/PluginSession.h"

namespace VelpoTools {

namespace {

std::vector<CPortColumn> PortColumns(const CSettings& settings, uint32_t positionPort) {
    std::vector<CPortColumn> columns = {{"id", PortId, XSI::siICENodeDataLong, ""},
                                        {"position", positionPort, XSI::siICENodeDataVector3, ""}};
    auto add = [&](const auto& names, const char* prefix, uint32_t base, int32_t dataType) {
        for (size_t i = 0; i < names.size(); ++i) {
            if (!names[i].empty()) {
                columns.push_back({names[i], base + static_cast<uint32_t>(i), dataType,
                                   NumberedParameter(prefix, i)});
            }
        }
    };
    add(settings.floatNames, "Float", PortFloatBase, XSI::siICENodeDataFloat);
    add(settings.longNames, "Long", PortLongBase, XSI::siICENodeDataLong);
    add(settings.vectorNames, "Vector", PortVectorBase, XSI::siICENodeDataVector3);
    return columns;
}

}  // namespace

std::vector<CPortColumn> ExportColumns(const CSettings& settings) {
    return PortColumns(settings, PortInPosition);
}

std::vector<CPortColumn> ImportColumns(const CSettings& settings) {
    return PortColumns(settings, PortPosition);
}

}  // namespace VelpoTools
