#include "tools/contents/FileReport.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "pdc/ByteOrder.h"
#include "tools/InputFile.h"
#include "tools/Text.h"

namespace VelpoTools {

namespace {

using VelpoHost::CResult;

// One component's statistics held in locals while a run is added, so that
// the loop keeps them in registers (no call in it, not even for the rare
// NaN and infinite values, which are only counted).
// The values are added in the same order as one Add call each, so the sums
// come out the same to the last bit.
class CRunStats {
public:
    explicit CRunStats(CComponentStats& stats)
        : stats_(stats),
          min_(stats.finite ? stats.min : std::numeric_limits<double>::infinity()),
          max_(stats.finite ? stats.max : -std::numeric_limits<double>::infinity()),
          sum_(stats.sum),
          finite_(stats.finite),
          nan_(stats.nan),
          infinite_(stats.infinite) {}
    CRunStats(const CRunStats&) = delete;
    CRunStats& operator=(const CRunStats&) = delete;

    ~CRunStats() {
        if (finite_ > 0) {
            stats_.min = min_;
            stats_.max = max_;
        }
        stats_.sum = sum_;
        stats_.finite = finite_;
        stats_.nan = nan_;
        stats_.infinite = infinite_;
    }

    void Add(double value) {
        if (std::isfinite(value)) {
            min_ = std::min(min_, value);
            max_ = std::max(max_, value);
            sum_ += value;
            ++finite_;
        } else if (std::isnan(value)) {
            ++nan_;
        } else {
            ++infinite_;
        }
    }

private:
    CComponentStats& stats_;
    double min_;
    double max_;
    double sum_;
    uint64_t finite_;
    uint64_t nan_;
    uint64_t infinite_;
};

// A run of a record's numbers into the statistics of their components; the
// run starts at `component` (a run may start inside a vector).
void AddRun(std::array<CComponentStats, 3>& stats, const double* values, size_t count,
            size_t components, size_t component) {
    if (components == 1) {
        CRunStats run(stats[0]);
        for (size_t i = 0; i < count; ++i) {
            run.Add(values[i]);
        }
        return;
    }
    size_t i = 0;
    for (; i < count && component != 0; ++i) {
        stats[component].Add(values[i]);
        component = component + 1 == components ? 0 : component + 1;
    }
    {
        CRunStats x(stats[0]);
        CRunStats y(stats[1]);
        CRunStats z(stats[2]);
        for (; i + 3 <= count; i += 3) {
            x.Add(values[i]);
            y.Add(values[i + 1]);
            z.Add(values[i + 2]);
        }
    }
    for (size_t c = 0; i < count; ++i, ++c) {
        stats[c].Add(values[i]);
    }
}

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
            AddRun(inspected.stats, decoded_.data(), count, static_cast<size_t>(components),
                   static_cast<size_t>(first % components));
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
