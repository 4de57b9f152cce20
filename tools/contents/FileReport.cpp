#include "tools/contents/FileReport.h"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string_view>
#include <system_error>
#include <utility>

#include "pdc/ByteOrder.h"
#include "tools/common/InputFile.h"
#include "tools/common/Text.h"
#include "tools/contents/ReportJson.h"

namespace VelpoTools {

namespace {

using Velpo::CResult;

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

uint64_t NaNCount(const CInspectedRecord& inspected) {
    uint64_t count = 0;
    for (const CComponentStats& stats : inspected.stats) {
        count += stats.nan;
    }
    return count;
}

uint64_t InfiniteCount(const CInspectedRecord& inspected) {
    uint64_t count = 0;
    for (const CComponentStats& stats : inspected.stats) {
        count += stats.infinite;
    }
    return count;
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
            Note("negative-attribute-count",
                 fmt::format("negative attribute count {}: readers take no records",
                             walker.Header().attributeCount));
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
        // Nothing gives such particles a value: readers make as many
        // elements of zeros, and a forged count makes billions of them.
        if (inspection_.records.empty() && walker.Header().particleCount > 0) {
            Note("particles-without-records",
                 fmt::format("the header declares {} particles but the file holds no record of "
                             "their values",
                             walker.Header().particleCount));
        }
        if (walker.EndedWithNameOnlyRecord()) {
            const CPdcRecord& last = walker.NameOnlyRecord();
            Note("name-only-record",
                 fmt::format("last record {} at byte {} holds only its name; readers take the "
                             "records before it",
                             Quoted(last.name), last.offset));
            return;
        }
        NoteTrailingBytes(file, walker);
    }

private:
    void Fatal(const std::string& text) {
        inspection_.problems.push_back({true, ReaderProblemKind(text), Escaped(text)});
    }
    void Note(const char* kind, const std::string& text) {
        inspection_.problems.push_back({false, kind, Escaped(text)});
    }

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

    // One note per kind of value, so that a script looking for NaN finds
    // exactly the records that hold one.
    void NoteNonFinite(const CInspectedRecord& inspected) {
        const std::string record =
            fmt::format("record {} ({}): ", inspected.record.index, Quoted(inspected.record.name));
        const uint64_t nan = NaNCount(inspected);
        const uint64_t infinite = InfiniteCount(inspected);
        if (nan > 0) {
            Note("nan-values", fmt::format("{}{} NaN value{}", record, nan, nan == 1 ? "" : "s"));
        }
        if (infinite > 0) {
            Note("infinite-values",
                 fmt::format("{}{} infinite value{}", record, infinite, infinite == 1 ? "" : "s"));
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
            Note("trailing-name-only-record",
                 fmt::format("trailing name-only record {} at byte {}, not counted in the "
                             "header; readers ignore it",
                             Quoted(trailing.NameOnlyRecord().name), at));
            return;
        }
        Note("trailing-bytes",
             fmt::format("{} trailing bytes after the last record, at byte {}; readers ignore them",
                         left, at));
    }

    CPdcInspection& inspection_;
    CPdcValueVisitor* visitor_;
    std::vector<double> decoded_;
};

enum class CStatistic { Min, Max, Mean };

nlohmann::ordered_json StatsJson(const CInspectedRecord& inspected, CStatistic which) {
    nlohmann::ordered_json values = nlohmann::ordered_json::array();
    for (int32_t c = 0; c < inspected.record.Components(); ++c) {
        const CComponentStats& stats = inspected.stats[static_cast<size_t>(c)];
        if (stats.finite == 0) {
            values.push_back(nullptr);
        } else {
            // The mean of huge values may overflow its sum.
            values.push_back(StrictNumber(which == CStatistic::Min   ? stats.min
                                          : which == CStatistic::Max ? stats.max
                                                                     : stats.Mean()));
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

std::string CPdcInspection::FailureKind() const {
    for (const CInspectionProblem& problem : problems) {
        if (problem.fatal) {
            return problem.kind;
        }
    }
    return std::string();
}

std::string ReaderProblemKind(const std::string& problem) {
    // The walker's words, most specific first: "the file ends inside its
    // name length" is a cut file, not a forged length.
    static constexpr std::pair<const char*, const char*> Kinds[] = {
        {"not a PDC file", "not-pdc"},
        {"not a regular file", "not-a-file"},
        {"cannot be read:", "read-error"},
        {"no file to read", "read-error"},
        {"ends inside", "truncated"},
        {"truncated header", "truncated"},
        {"cannot be read whole", "truncated"},
        {"cannot be stepped over", "truncated"},
        {"name length", "forged-length"},
        {"forged particle count", "count-exceeds-file"},
        {"unknown type code", "unknown-type-code"},
        {"negative particle count", "negative-particle-count"},
    };
    // A record's name stands before "): " and may hold any words: only
    // what follows its last occurrence says what is wrong.
    const size_t named = problem.rfind("): ");
    const std::string_view what =
        std::string_view(problem).substr(named == std::string::npos ? 0 : named + 3);
    for (const auto& [words, kind] : Kinds) {
        if (what.find(words) != std::string_view::npos) {
            return kind;
        }
    }
    return "unreadable";
}

CPdcInspection InspectPdc(const std::filesystem::path& file, CPdcValueVisitor* visitor) {
    CPdcInspection inspection;
    inspection.file = file.string();
    CFilePointer stream;
    const CResult opened = OpenForReading(file, stream);
    if (!opened) {
        std::error_code code;
        const bool missing =
            std::filesystem::status(file, code).type() == std::filesystem::file_type::not_found;
        const std::string kind = ReaderProblemKind(opened.Message());
        inspection.problems.push_back({true,
                                       missing                ? "missing-file"
                                       : kind == "unreadable" ? "cannot-open"
                                                              : kind,
                                       opened.Message()});
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
                                  {"nan", NaNCount(inspected)},
                                  {"infinite", InfiniteCount(inspected)},
                                  {"min", StatsJson(inspected, CStatistic::Min)},
                                  {"max", StatsJson(inspected, CStatistic::Max)},
                                  {"mean", StatsJson(inspected, CStatistic::Mean)}});
    }
    out["problems"] = nlohmann::ordered_json::array();
    for (const CInspectionProblem& problem : inspection.problems) {
        out["problems"].push_back(
            {{"kind", problem.kind}, {"fatal", problem.fatal}, {"text", problem.text}});
    }
    return out;
}

}  // namespace VelpoTools
