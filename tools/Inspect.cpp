#include "tools/Inspect.h"

#include <algorithm>
#include <cmath>

#include "pdc/ByteOrder.h"
#include "tools/InputFile.h"
#include "tools/Text.h"

namespace VelpoTools {

namespace {

using VelpoHost::CResult;

class CInspector {
public:
    CInspector(CPdcInspection& inspection, CPdcValueVisitor* visitor)
        : inspection_(inspection), visitor_(visitor) {}

    void Run(std::FILE* file) {
        CPdcRecordWalker walker(file);
        const bool headerRead = walker.ReadHeader();
        inspection_.fileSize = walker.FileSize();
        if (!headerRead) {
            Fatal(walker.Problem());
            return;
        }
        inspection_.header = walker.Header();
        if (walker.Header().attributeCount < 0) {
            Note("negative attribute count " + std::to_string(walker.Header().attributeCount) +
                 ": readers take no records");
        }
        CPdcRecord record;
        while (walker.Next(record)) {
            CInspectedRecord& inspected = inspection_.records.emplace_back();
            inspected.record = record;
            if (!ReadValues(walker, inspected)) {
                break;
            }
            NoteNonFinite(inspected);
        }
        if (walker.Failed()) {
            Fatal(walker.Problem());
            return;
        }
        if (walker.EndedWithNameOnlyRecord()) {
            const CPdcRecord& last = walker.NameOnlyRecord();
            Note("last record " + Quoted(last.name) + " at byte " + std::to_string(last.offset) +
                 " holds only its name; readers take the records before it");
            return;
        }
        NoteTrailingBytes(file, walker);
    }

private:
    void Fatal(const std::string& text) { inspection_.problems.push_back({true, Escaped(text)}); }
    void Note(const std::string& text) { inspection_.problems.push_back({false, Escaped(text)}); }

    bool ReadValues(CPdcRecordWalker& walker, CInspectedRecord& inspected) {
        const CPdcRecord& record = inspected.record;
        const bool visit = visitor_ && visitor_->Wants(record);
        const int64_t components = record.Components();
        return walker.ReadNumbers([&](const unsigned char* bytes, int64_t first, size_t count) {
            decoded_.resize(count);
            if (record.IsInteger()) {
                for (size_t i = 0; i < count; ++i) {
                    decoded_[i] = PdcByteOrder::LoadInt32(bytes + PdcByteOrder::Int32Bytes * i);
                }
            } else {
                PdcByteOrder::LoadDoubles(decoded_.data(), bytes, count);
            }
            // A run may start at any component of a vector.
            size_t component = static_cast<size_t>(first % components);
            for (size_t i = 0; i < count; ++i) {
                inspected.stats[component].Add(decoded_[i]);
                component = component + 1 == static_cast<size_t>(components) ? 0 : component + 1;
            }
            if (visit) {
                visitor_->Values(record, first, decoded_.data(), count);
            }
        });
    }

    void NoteNonFinite(const CInspectedRecord& inspected) {
        uint64_t nan = 0;
        uint64_t infinite = 0;
        for (const CComponentStats& stats : inspected.stats) {
            nan += stats.nan;
            infinite += stats.infinite;
        }
        if (nan > 0 || infinite > 0) {
            Note("record " + std::to_string(inspected.record.index) + " (" +
                 Quoted(inspected.record.name) + "): " + std::to_string(nan) + " NaN and " +
                 std::to_string(infinite) + " infinite values");
        }
    }

    // Bytes after the last counted record: readers never look at them, but a
    // writer that left them there may have meant something else. A second
    // walk over them, as one more counted record, tells a name-only record
    // that the header does not count from other bytes.
    void NoteTrailingBytes(std::FILE* file, const CPdcRecordWalker& walker) {
        const int64_t at = walker.Position();
        const int64_t left = walker.BytesLeft();
        if (left <= 0) {
            return;
        }
        PdcHeader oneRecord = walker.Header();
        oneRecord.attributeCount = 1;
        CPdcRecordWalker trailing(file);
        CPdcRecord record;
        if (trailing.UseHeader(oneRecord) && !trailing.Next(record) &&
            trailing.EndedWithNameOnlyRecord()) {
            Note("trailing name-only record " + Quoted(trailing.NameOnlyRecord().name) +
                 " at byte " + std::to_string(at) +
                 ", not counted in the header; readers ignore it");
            return;
        }
        Note(std::to_string(left) + " trailing bytes after the last record, at byte " +
             std::to_string(at) + "; readers ignore them");
    }

    CPdcInspection& inspection_;
    CPdcValueVisitor* visitor_;
    std::vector<double> decoded_;
};

nlohmann::ordered_json StatsJson(const CInspectedRecord& inspected, int which) {
    nlohmann::ordered_json values = nlohmann::ordered_json::array();
    for (int32_t c = 0; c < inspected.record.Components(); ++c) {
        const CComponentStats& stats = inspected.stats[static_cast<size_t>(c)];
        if (stats.finite == 0) {
            values.push_back(nullptr);
        } else {
            values.push_back(which == 0 ? stats.min : which == 1 ? stats.max : stats.Mean());
        }
    }
    return values;
}

}  // namespace

void CComponentStats::Add(double value) {
    if (std::isnan(value)) {
        ++nan;
        return;
    }
    if (std::isinf(value)) {
        ++infinite;
        return;
    }
    if (finite == 0) {
        min = max = value;
    } else {
        min = std::min(min, value);
        max = std::max(max, value);
    }
    sum += value;
    ++finite;
}

bool CPdcInspection::Readable() const {
    return Failure().empty();
}

std::string CPdcInspection::Failure() const {
    for (const CInspectionProblem& problem : problems) {
        if (problem.fatal) {
            return problem.text;
        }
    }
    return std::string();
}

CPdcInspection InspectPdc(const std::filesystem::path& file, CPdcValueVisitor* visitor) {
    CPdcInspection inspection;
    inspection.file = file.string();
    CFilePointer stream;
    const CResult opened = OpenForReading(file, stream);
    if (!opened) {
        inspection.problems.push_back({true, opened.Message()});
        return inspection;
    }
    CInspector(inspection, visitor).Run(stream.get());
    return inspection;
}

nlohmann::ordered_json InspectionJson(const CPdcInspection& inspection) {
    nlohmann::ordered_json out;
    out["file"] = inspection.file;
    out["size"] = inspection.fileSize;
    out["readable"] = inspection.Readable();
    out["header"] = nullptr;
    if (inspection.header) {
        const PdcHeader& header = *inspection.header;
        out["header"] = {{"format", std::string(header.format, sizeof header.format)},
                         {"version", header.version},
                         {"byteOrder", header.byteOrder},
                         {"particleCount", header.particleCount},
                         {"attributeCount", header.attributeCount}};
    }
    out["records"] = nlohmann::ordered_json::array();
    for (const CInspectedRecord& inspected : inspection.records) {
        const CPdcRecord& record = inspected.record;
        out["records"].push_back({{"name", record.name},
                                  {"code", record.code},
                                  {"array", record.IsArray()},
                                  {"count", record.count},
                                  {"offset", record.offset},
                                  {"min", StatsJson(inspected, 0)},
                                  {"max", StatsJson(inspected, 1)},
                                  {"mean", StatsJson(inspected, 2)}});
    }
    out["problems"] = nlohmann::ordered_json::array();
    for (const CInspectionProblem& problem : inspection.problems) {
        out["problems"].push_back(problem.text);
    }
    return out;
}

}  // namespace VelpoTools
