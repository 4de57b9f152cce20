// Which column of a frame's table goes to which port of the nodes: what
// `velpo export`, `velpo import` and the Python module's Host share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/Settings.h"

namespace VelpoTools {

// A column of a frame's table and the node port it feeds or comes from.
struct CPortColumn {
    std::string name;
    uint32_t port = 0;
    int32_t dataType = 0;   // siICENodeDataLong, ...Float or ...Vector3
    std::string parameter;  // the settings parameter naming it; empty for id and position
};

// "id", "position", then the attribute each numbered parameter names, in
// the order Float0 ... Float9, Long0 ... Long4, Vector0 ... Vector9 (empty
// names left out): the ports VelpoExport takes, and those VelpoSetData
// gives, which differ in the position port only.
std::vector<CPortColumn> ExportColumns(const CSettings& settings);
std::vector<CPortColumn> ImportColumns(const CSettings& settings);

}  // namespace VelpoTools
