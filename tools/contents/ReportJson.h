// The JSON of the reports that scripts read (`velpo info --json`, `check
// --json`, `diff --json` and the Python module's `velpo.info`): strict JSON
// (RFC 8259), which jq and every JSON parser take.
//
// JSON has no NaN or infinity. A number that is not finite is written as
// the string "NaN", "Infinity" or "-Infinity", the words the tables use;
// never as null, which reads as "no value", and never as a bare NaN token,
// which strict parsers refuse. Header-only, so that every program that
// prints a report (the command, the Python module) links nothing more.
#pragma once

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

namespace VelpoTools {

inline nlohmann::ordered_json StrictNumber(double value) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-Infinity" : "Infinity";
    }
    return value;
}

// One line, no spaces; bytes of names that are not UTF-8 become U+FFFD.
inline std::string ReportText(const nlohmann::ordered_json& json) {
    return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace VelpoTools
