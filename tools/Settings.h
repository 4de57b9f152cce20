// The settings object of the nodes, as a user writes it down: a JSON object
// with the object's parameters under their own names.
//
//   {"Path": "cache/fluid", "Step": 1, "Float0": "age", "Vector0": "velocity"}
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

namespace VelpoTools {

struct CSettings {
    std::string path;                         // "Path"
    int32_t step = 1;                         // "Step"
    std::array<std::string, 10> floatNames;   // "Float0" ... "Float9"
    std::array<std::string, 5> longNames;     // "Long0" ... "Long4"
    std::array<std::string, 10> vectorNames;  // "Vector0" ... "Vector9"
};

// False, with error naming the file and what is wrong (with line and
// column for a syntax error), when the file cannot be read, is not a JSON
// object, holds an unknown key or a value of the wrong kind.
bool ReadSettings(const std::filesystem::path& file, CSettings& settings, std::string& error);

// The same from JSON text; `source` names it in the errors.
bool ParseSettings(const std::string& source, const std::string& text, CSettings& settings,
                   std::string& error);

}  // namespace VelpoTools
