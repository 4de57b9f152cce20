// The settings object of the nodes, as a user writes it down: a JSON object
// with the object's parameters under their own names.
//
//   {"Path": "cache/fluid", "Step": 1, "Float0": "age", "Vector0": "velocity"}
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"
#include "plugin/AttributeKinds.h"

namespace VelpoTools {

struct CSettings {
    std::string file;                                     // where they were read from, for messages
    std::string path;                                     // "Path"
    int32_t step = 1;                                     // "Step"
    std::array<std::string, FloatKind.count> floatNames;  // "Float0" ... "Float9"
    std::array<std::string, LongKind.count> longNames;    // "Long0" ... "Long4"
    std::array<std::string, VectorKind.count> vectorNames;  // "Vector0" ... "Vector9"

    // The names that the numbered parameters of `kind` give, by index.
    std::span<std::string> Names(const CAttributeKind& kind);
    std::span<const std::string> Names(const CAttributeKind& kind) const;
};

// Fails, naming the file and what is wrong (with line and column for a
// syntax error), when the file cannot be read, is not a JSON object, holds
// an unknown key, a key twice or a value of the wrong kind.
Velpo::CResult ReadSettings(const std::filesystem::path& file, CSettings& settings);

// One attribute the nodes write and read with these settings: "id",
// "position", and one per named parameter.
struct CNamedAttribute {
    std::string name;         // the record's name in the cache
    std::string parameter;    // "Float3"; "" for id and position
    int32_t slot = 0;         // in the file layer's slot layout
    int32_t slotType = 0;     // PdcTypeFloat, PdcTypeLong or PdcTypeVector
    uint32_t inputPort = 0;   // of VelpoExport
    uint32_t outputPort = 0;  // of VelpoSetData

    // "\"Float3\"" (quoted), or "the Id port" for id and position: how
    // messages call it.
    std::string Owner() const;
};

// id, position, then the named Float, Long and Vector parameters in order.
std::vector<CNamedAttribute> NamedAttributes(const CSettings& settings);

// What the settings do that loses data elsewhere: two parameters naming one
// attribute, or a parameter naming "id" or "position", which the nodes
// write anyway. The file layer reads such caches back, slot by slot, but
// the cache holds two records of one name, which other programs may take
// for one. One text per such parameter, naming the settings file.
std::vector<std::string> SettingsWarnings(const CSettings& settings);

// The same from JSON text; `source` names it in the errors.
Velpo::CResult ParseSettings(const std::string& source, const std::string& text,
                             CSettings& settings);

}  // namespace VelpoTools
