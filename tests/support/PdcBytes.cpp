#include "tests/support/PdcBytes.h"

#include "pdc/Pdc.h"

namespace VelpoTestSupport {

const CRecord* CParsedPdc::Find(const std::string& name) const {
    for (const CRecord& record : records) {
        if (record.name == name) {
            return &record;
        }
    }
    return nullptr;
}

CParsedPdc ParsePdc(const std::vector<uint8_t>& bytes) {
    CParsedPdc parsed;
    size_t at = 0;
    auto take = [&](int width, uint64_t& value) {
        if (bytes.size() - at < static_cast<size_t>(width)) {
            return false;
        }
        value = 0;
        for (int i = 0; i < width; ++i) {
            value = (value << 8) | bytes[at++];
        }
        return true;
    };
    auto takeInt = [&](int32_t& value) {
        uint64_t raw = 0;
        const bool ok = take(4, raw);
        value = static_cast<int32_t>(static_cast<uint32_t>(raw));
        return ok;
    };
    if (bytes.size() < 28) {
        return parsed;
    }
    at = 20;
    takeInt(parsed.particleCount);
    takeInt(parsed.attributeCount);
    for (int32_t r = 0; r < parsed.attributeCount; ++r) {
        CRecord record;
        int32_t length = 0;
        if (!takeInt(length) || length < 0 || bytes.size() - at < static_cast<size_t>(length)) {
            return parsed;
        }
        record.name.assign(reinterpret_cast<const char*>(bytes.data() + at),
                           static_cast<size_t>(length));
        at += static_cast<size_t>(length);
        if (!takeInt(record.code) || record.code < PdcCodeDouble ||
            record.code > PdcCodeVectorArray) {
            return parsed;
        }
        const bool vector = record.code == PdcCodeVector || record.code == PdcCodeVectorArray;
        const bool array = record.code == PdcCodeDoubleArray || record.code == PdcCodeVectorArray;
        const size_t count = array ? static_cast<size_t>(parsed.particleCount) : 1;
        for (size_t i = 0; i < count * (vector ? 3 : 1); ++i) {
            uint64_t raw = 0;
            if (!take(8, raw)) {
                return parsed;
            }
            record.values.push_back(std::bit_cast<double>(raw));
        }
        parsed.records.push_back(std::move(record));
    }
    parsed.ok = at == bytes.size();
    return parsed;
}

}  // namespace VelpoTestSupport
