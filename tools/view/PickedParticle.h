// Every record's value for one particle of a frame, written exactly as
// `velpo dump` writes it (tools/common/Numbers.h: integer records as integers,
// the others as the shortest decimal that reads back to the same double,
// NaN and infinities as NaN, Infinity and -Infinity).
//
// The file is walked by the file layer's record walker; of each record only
// the particle's numbers are read, the rest is stepped over.
//
// Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"

namespace VelpoTools {

struct CPickedRecord {
    std::string name;
    int32_t code = 0;
    bool array = false;
    std::vector<std::string> values;  // one per component
};

struct CPickedParticle {
    int64_t index = 0;
    int64_t particles = 0;
    bool noSuchParticle = false;         // the failure is an index out of range
    std::optional<std::string> id;       // of the first record "id" of single numbers
    std::vector<CPickedRecord> records;  // in file order
};

// Fails naming the file when it cannot be read, and when `index` is not a
// particle of it (the message says how many it holds).
Velpo::CResult PickParticle(const std::string& file, int64_t index, CPickedParticle& picked);

// {"index", "particles", "id" (text or null), "records": [{"name", "key",
// "code", "array", "values": [text]}]}; "key" names the record in a URL
// (RecordKey.h).
nlohmann::ordered_json PickedJson(const CPickedParticle& picked);

}  // namespace VelpoTools
