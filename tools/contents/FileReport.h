// A PDC file inspected record by record: what `velpo info` shows, `--json`
// prints, and the Python module returns.
//
// The file is walked by the file layer's record walker, so a file that the
// nodes read is inspected whole and a file they refuse is refused for the
// same reason. On top of the walk this layer only counts: per-component
// statistics of every record, and notes on what readers pass over (bytes
// after the last record, a last record that holds only its name, NaN and
// infinite values). One pass, in the walker's bounded chunks: memory stays
// small whatever the file's size.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "pdc/RecordWalker.h"

namespace VelpoTools {

// Statistics of one component over its finite values; NaN and infinite
// values are only counted.
struct CComponentStats {
    double min = 0.0;
    double max = 0.0;
    double sum = 0.0;
    uint64_t finite = 0;
    uint64_t nan = 0;
    uint64_t infinite = 0;

    void Add(double value);
    double Mean() const { return finite ? sum / static_cast<double>(finite) : 0.0; }
};

struct CInspectedRecord {
    CPdcRecord record;  // as the walker found it
    std::array<CComponentStats, 3> stats;
};

// Problem kinds are stable names for scripts; the text may be reworded.
// Fatal (the nodes cannot read the file):
//   missing-file, cannot-open, not-a-file, read-error, not-pdc,
//   truncated               the file ends inside the header or a record
//   forged-length           a name length that is negative or runs past the end
//   count-exceeds-file      a record's values need more bytes than are left
//                           (a forged particle count, or a cut file)
//   unknown-type-code, negative-particle-count
//   unreadable              any other reason the file layer gives
// Notes (readable, but worth a look):
//   negative-attribute-count, name-only-record, trailing-name-only-record,
//   trailing-bytes, nan-values, infinite-values,
//   particles-without-records  the header declares particles and the file
//                              holds no record at all
struct CInspectionProblem {
    bool fatal = false;  // the nodes cannot read the file
    std::string kind;
    std::string text;  // without the file's name
};

struct CPdcInspection {
    std::string file;
    int64_t fileSize = 0;
    std::optional<PdcHeader> header;  // unset when no whole header was read
    std::vector<CInspectedRecord> records;
    std::vector<CInspectionProblem> problems;  // in the order found

    bool Readable() const;
    // The first fatal problem's text and kind; empty when the file is
    // readable.
    std::string Failure() const;
    std::string FailureKind() const;
};

// The kind of a problem the file layer's record walker reports.
std::string ReaderProblemKind(const std::string& problem);

// Receives the values of the records it asks for, in file order and in runs:
// `values` holds `count` numbers starting at number `first` of the record
// (the components of a vector follow one another). Integer records arrive
// as doubles, which hold every 32-bit integer exactly.
class CPdcValueVisitor {
public:
    virtual ~CPdcValueVisitor() = default;
    virtual bool Wants(const CPdcRecord& record) = 0;
    virtual void Values(const CPdcRecord& record, int64_t first, const double* values,
                        size_t count) = 0;
};

// Everything about `file`; a file that cannot be opened is a fatal problem
// like any other. Never throws but for std::bad_alloc.
CPdcInspection InspectPdc(const std::filesystem::path& file, CPdcValueVisitor* visitor = nullptr);

// The object `velpo info --json` prints for one file, strict JSON (see
// ReportJson.h):
//   {"file", "size", "readable", "header": {"format", "version", "byteOrder",
//    "particleCount", "attributeCount"} or null, "records": [{"name", "code",
//    "array", "count", "offset", "nan", "infinite", "min", "max", "mean"}],
//    "problems": [{"kind", "fatal", "text"}]}
// nan and infinite count the record's NaN and infinite values; min, max and
// mean (over the finite values) hold one entry per component, null where a
// component has no finite value.
nlohmann::ordered_json InspectionJson(const CPdcInspection& inspection);

}  // namespace VelpoTools
