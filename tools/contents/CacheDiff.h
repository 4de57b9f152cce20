// Two PDC files compared record by record and value by value: what
// `velpo diff` prints.
//
// Records are matched by name (the second record of a name with the second
// of that name in the other file, and so on). The first file's values are
// held in memory while the second is walked and compared as it is read, so
// memory stays within the first file's size (integers held as doubles take
// twice their bytes) and neither file is read twice.
//
// Two numbers are equal when |a - b| <= tolerance (infinities of one sign
// included); NaN equals NaN at the same place. NaN against a number or an
// infinity differs, and so do infinities of other signs and an infinity
// against a finite number, whatever the tolerance. The tolerance is absolute
// and finite; the relative difference |a - b| / max(|a|, |b|) is only
// reported.
#pragma once

#include <array>
#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

namespace VelpoTools {

bool NumbersEqual(double a, double b, double tolerance);

// The differences in one component (x, y or z of a vector; the one
// component of anything else) over the values compared.
//
// The largest differences are taken over the differing pairs without a
// NaN: |a - b| is Infinity when an infinity differs from the other side,
// and the relative difference is then 1 (2 for infinities of other signs),
// its limit. When every difference has a NaN on one side, both are NaN: a
// count of differing values never comes with a largest difference of 0.
struct CComponentDiff {
    uint64_t differing = 0;
    uint64_t withNaN = 0;       // of them, NaN on one side only
    uint64_t withInfinity = 0;  // of them, an infinity on a side and no NaN
    double maxAbsolute = 0.0;   // 0 while no value differs
    double maxRelative = 0.0;
    int64_t firstParticle = -1;  // of the first difference, -1 when none
    double firstA = 0.0;
    double firstB = 0.0;

    void Add(int64_t particle, double a, double b, double tolerance);
};

// A record found in both files.
struct CRecordDiff {
    std::string name;
    int32_t occurrence = 0;  // 0 for the first record of the name, 1 for the second...
    int32_t codeA = 0;
    int32_t codeB = 0;
    int64_t countA = 0;
    int64_t countB = 0;
    bool compared = false;  // false when the value counts or components disagree
    int32_t components = 1;
    std::array<CComponentDiff, 3> diffs;

    bool Equal() const;
};

struct CFileDiff {
    std::string fileA;
    std::string fileB;
    // "<file>: <reason>" when either file cannot be read, and the reader's
    // kind of problem (see FileReport.h); nothing else is set then.
    std::string failure;
    std::string failureKind;
    int64_t particlesA = 0;
    int64_t particlesB = 0;
    std::vector<std::string> onlyInA;  // record names, in file order
    std::vector<std::string> onlyInB;
    std::vector<CRecordDiff> records;  // in the order of file A

    bool Equal() const;
};

// Never fails: an unreadable file sets `failure`.
CFileDiff DiffPdcFiles(const std::string& fileA, const std::string& fileB, double tolerance);

// One difference or failure, with a stable kind for scripts:
//   particle-count-differs, only-in-a, only-in-b, type-code-differs,
//   values-not-compared, values-differ; or, when a file cannot be read,
//   the reader's kind (truncated, missing-file... see FileReport.h).
struct CDiffProblem {
    std::string kind;
    std::string text;  // as FileDiffText shows it, without the indent
};

// Every difference in the order FileDiffText shows them (the failure only,
// when there is one); empty when the files are equal.
std::vector<CDiffProblem> FileDiffProblems(const CFileDiff& diff);

// Indented lines of the differences only ("  particle count: 1000 in A, 1002
// in B"); empty when the files are equal. Not for a failed diff.
std::string FileDiffText(const CFileDiff& diff);

// Strict JSON (see ReportJson.h: numbers that are not finite are the
// strings "NaN", "Infinity", "-Infinity"):
// {"a", "b", "equal", "error", "particleCount": [a, b], "onlyInA", "onlyInB",
//  "records": [{"name", "occurrence", "code": [a, b], "count": [a, b],
//  "compared", "components": [{"differing", "withNaN", "withInfinity",
//  "maxAbsolute", "maxRelative", "firstParticle", "first": [a, b]}]}],
//  "problems": [{"kind", "text"}]}
nlohmann::ordered_json FileDiffJson(const CFileDiff& diff);

}  // namespace VelpoTools
