// A PDC file as it lies on disk, record by record, independent of the slot
// layout the nodes read with: what `velpo info` shows and `velpo dump` prints.
//
// The scanner streams the file in fixed-size chunks and reads every value
// once. Every count and length taken from the file is checked against the
// bytes that remain before anything is read or sized, so a forged header
// costs nothing. Problems are collected, not thrown: a fatal one stops the
// scan where it was found, a suspicious one is noted and the scan goes on.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace VelpoTools {

struct CPdcScanHeader {
    std::string format;  // the four raw bytes
    int32_t version = 0;
    int32_t byteOrder = 0;
    int32_t reserved1 = 0;
    int32_t reserved2 = 0;
    int32_t particleCount = 0;
    int32_t attributeCount = 0;
};

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

struct CPdcScanRecord {
    std::string name;  // up to its first zero byte, as the readers take it
    int32_t code = 0;
    uint64_t offset = 0;        // of the name length field
    uint64_t valuesOffset = 0;  // of the first value
    uint64_t count = 0;         // values: 1, or the particle count for array codes
    std::array<CComponentStats, 3> stats;

    bool IsArray() const { return code == 1 || code == 3 || code == 5; }
    bool IsInteger() const { return code == 0 || code == 1; }
    int32_t Components() const { return code >= 4 ? 3 : 1; }
};

struct CPdcProblem {
    bool fatal = false;  // the file cannot be read by the nodes
    std::string text;
};

struct CPdcScan {
    uint64_t fileSize = 0;
    std::optional<CPdcScanHeader> header;  // unset when the file is shorter than a header
    std::vector<CPdcScanRecord> records;
    std::vector<CPdcProblem> problems;

    bool Readable() const;
};

// Receives the values of the records it asks for, in file order and in runs:
// `values` holds `count` numbers starting at number `first` of the record
// (the components of a vector follow one another). Integer records arrive
// converted to double, which holds every 32-bit integer exactly.
class CPdcValueVisitor {
public:
    virtual ~CPdcValueVisitor() = default;
    virtual bool Wants(const CPdcScanRecord& record) = 0;
    virtual void Values(const CPdcScanRecord& record, uint64_t first, const double* values,
                        size_t count) = 0;
};

// False only when the file cannot be opened or sized (error says why);
// everything wrong inside the file is in scan.problems.
bool ScanPdc(const std::filesystem::path& file, CPdcScan& scan, std::string& error,
             CPdcValueVisitor* visitor = nullptr);

}  // namespace VelpoTools
