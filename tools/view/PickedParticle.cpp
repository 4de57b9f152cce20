#include "tools/view/PickedParticle.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "pdc/ByteOrder.h"
#include "pdc/FileOffset.h"
#include "pdc/RecordWalker.h"
#include "tools/common/InputFile.h"
#include "tools/common/Numbers.h"
#include "tools/common/Text.h"
#include "tools/view/RecordKey.h"

namespace VelpoTools {

using Velpo::CResult;

namespace {

// Reads the particle's numbers of the walker's current record, stepping
// over the others, and writes them as dump does.
bool ReadPicked(CPdcRecordWalker& walker, const CPdcRecord& record, int64_t index,
                CPickedRecord& picked) {
    const int64_t width = record.Components() * record.NumberBytes();
    unsigned char bytes[24];
    const bool read = walker.ReadFromStream([&](FILE* file) {
        const int64_t before = record.IsArray() ? index * width : 0;
        const int64_t after = record.ValueBytes() - before - width;
        return PdcFileOffset::Skip(file, before) &&
               std::fread(bytes, 1, static_cast<size_t>(width), file) ==
                   static_cast<size_t>(width) &&
               PdcFileOffset::Skip(file, after);
    });
    if (!read) {
        return false;
    }
    for (int32_t c = 0; c < record.Components(); ++c) {
        std::string text;
        if (record.IsInteger()) {
            AppendInt(text, PdcByteOrder::LoadInt32(bytes + 4 * c));
        } else {
            AppendDouble(text, PdcByteOrder::LoadDouble(bytes + 8 * c));
        }
        picked.values.push_back(std::move(text));
    }
    return true;
}

}  // namespace

CResult PickParticle(const std::string& file, int64_t index, CPickedParticle& picked) {
    picked = CPickedParticle();
    picked.index = index;
    CFilePointer stream;
    if (CResult opened = OpenForReading(file, stream); !opened) {
        return CResult::Fail(fmt::format("{}: {}", file, opened.Message()));
    }
    CPdcRecordWalker walker(stream.get());
    if (!walker.ReadHeader()) {
        return CResult::Fail(fmt::format("{}: {}", file, Escaped(walker.Problem())));
    }
    picked.particles = std::max<int64_t>(walker.Header().particleCount, 0);
    if (index < 0 || index >= picked.particles) {
        picked.noSuchParticle = true;
        return CResult::Fail(fmt::format("{}: no particle {}: the frame holds {} particles", file,
                                         index, picked.particles));
    }
    CPdcRecord record;
    while (walker.Next(record)) {
        CPickedRecord& out = picked.records.emplace_back();
        out.name = record.name;
        out.code = record.code;
        out.array = record.IsArray();
        if (!ReadPicked(walker, record, index, out)) {
            break;
        }
        if (!picked.id && !record.nameCut && record.name == "id" && record.Components() == 1) {
            picked.id = out.values.front();
        }
    }
    if (walker.Failed()) {
        return CResult::Fail(fmt::format("{}: {}", file, Escaped(walker.Problem())));
    }
    return CResult::Ok();
}

nlohmann::ordered_json PickedJson(const CPickedParticle& picked) {
    nlohmann::ordered_json out;
    out["index"] = picked.index;
    out["particles"] = picked.particles;
    out["id"] = picked.id ? nlohmann::ordered_json(*picked.id) : nullptr;
    out["records"] = nlohmann::ordered_json::array();
    for (const CPickedRecord& record : picked.records) {
        out["records"].push_back({{"name", record.name},
                                  {"key", RecordKey(record.name)},
                                  {"code", record.code},
                                  {"array", record.array},
                                  {"values", record.values}});
    }
    return out;
}

}  // namespace VelpoTools
