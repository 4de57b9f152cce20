#include "tools/contents/CacheDiff.h"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <utility>

#include "pdc/Pdc.h"
#include "tools/common/Numbers.h"
#include "tools/common/Text.h"
#include "tools/contents/FileReport.h"
#include "tools/contents/ReportJson.h"

namespace VelpoTools {

namespace {

// Every value of the first file, one run per record in file order.
class CValueCollector : public CPdcValueVisitor {
public:
    bool Wants(const CPdcRecord&) override {
        values_.emplace_back();
        return true;
    }

    void Values(const CPdcRecord&, int64_t, const double* values, size_t count) override {
        values_.back().insert(values_.back().end(), values, values + count);
    }

    std::vector<std::vector<double>>& Records() { return values_; }

private:
    std::vector<std::vector<double>> values_;
};

using CRecordKey = std::pair<std::string, int32_t>;  // name, occurrence

// Names each record by its name and how many records of that name came
// before it in its file.
class COccurrences {
public:
    CRecordKey Next(const std::string& name) { return {name, seen_[name]++}; }

private:
    std::map<std::string, int32_t> seen_;
};

// Compares the second file's values with the first file's as they arrive.
class CComparingVisitor : public CPdcValueVisitor {
public:
    CComparingVisitor(const CPdcInspection& a, std::vector<std::vector<double>>& valuesA,
                      double tolerance)
        : values_(valuesA),
          tolerance_(tolerance),
          diffs_(a.records.size()),
          matched_(a.records.size(), false) {
        COccurrences occurrences;
        for (size_t i = 0; i < a.records.size(); ++i) {
            const CPdcRecord& record = a.records[i].record;
            const CRecordKey key = occurrences.Next(record.name);
            index_.emplace(key, i);
            diffs_[i].name = record.name;
            diffs_[i].occurrence = key.second;
            diffs_[i].codeA = record.code;
            diffs_[i].countA = record.count;
            diffs_[i].components = record.Components();
        }
    }

    bool Wants(const CPdcRecord& record) override {
        const auto found = index_.find(occurrences_.Next(record.name));
        if (found == index_.end() || matched_[found->second]) {
            onlyInB_.push_back(record.name);
            return false;
        }
        matched_[found->second] = true;
        current_ = found->second;
        CRecordDiff& diff = diffs_[current_];
        diff.codeB = record.code;
        diff.countB = record.count;
        diff.compared = diff.components == record.Components() && diff.countA == record.count &&
                        values_[current_].size() == static_cast<size_t>(record.Numbers());
        return diff.compared;
    }

    void Values(const CPdcRecord& record, int64_t first, const double* values,
                size_t count) override {
        CRecordDiff& diff = diffs_[current_];
        const double* a = values_[current_].data() + first;
        const int64_t components = record.Components();
        int64_t component = first % components;
        int64_t particle = first / components;
        for (size_t i = 0; i < count; ++i) {
            // Most values are equal; they cost one comparison.
            if (a[i] != values[i]) {
                diff.diffs[static_cast<size_t>(component)].Add(particle, a[i], values[i],
                                                               tolerance_);
            }
            if (++component == components) {
                component = 0;
                ++particle;
            }
        }
    }

    void Finish(CFileDiff& diff) {
        for (size_t i = 0; i < diffs_.size(); ++i) {
            if (matched_[i]) {
                diff.records.push_back(std::move(diffs_[i]));
            } else {
                diff.onlyInA.push_back(diffs_[i].name);
            }
        }
        diff.onlyInB = std::move(onlyInB_);
    }

private:
    std::vector<std::vector<double>>& values_;
    double tolerance_;
    std::vector<CRecordDiff> diffs_;
    std::map<CRecordKey, size_t> index_;
    std::vector<bool> matched_;
    COccurrences occurrences_;
    std::vector<std::string> onlyInB_;
    size_t current_ = 0;
};

std::string RecordName(const CRecordDiff& record) {
    return Quoted(record.name) +
           (record.occurrence > 0 ? fmt::format(" (record {} of that name)", record.occurrence + 1)
                                  : std::string());
}

// "(1 against NaN, 2 against an infinity)", or nothing.
std::string NonFiniteCounts(const CComponentDiff& diff) {
    std::string counts;
    if (diff.withNaN > 0) {
        counts += std::to_string(diff.withNaN) + " against NaN";
    }
    if (diff.withInfinity > 0) {
        counts += (counts.empty() ? "" : ", ") + std::to_string(diff.withInfinity) +
                  " against an infinity";
    }
    return counts.empty() ? counts : " (" + counts + ")";
}

std::string ComponentText(const CRecordDiff& record, size_t component) {
    const CComponentDiff& diff = record.diffs[component];
    const bool single = !PdcCodeIsArray(record.codeA);
    std::string line = RecordName(record);
    if (record.components == 3) {
        line += std::string(".") + "xyz"[component];
    }
    line += ": ";
    if (single) {
        line += "differs";
    } else {
        line += fmt::format("{} of {} values differ{}", diff.differing, record.countA,
                            NonFiniteCounts(diff));
    }
    // With NaN on one side of every difference there is no size to give.
    if (diff.withNaN < diff.differing) {
        line += fmt::format(", largest difference {} (relative {})", FormatDouble(diff.maxAbsolute),
                            FormatDouble(diff.maxRelative));
    }
    line += single ? std::string(", the value: ")
                   : fmt::format(", first at particle {}: ", diff.firstParticle);
    return fmt::format("{}{} in A, {} in B", line, FormatDouble(diff.firstA),
                       FormatDouble(diff.firstB));
}

// |a - b| / max(|a|, |b|) of two numbers that differ, neither NaN; for an
// infinity its limit, 1 against a finite number and 2 against the other
// infinity. Two finite numbers whose difference overflows are scaled first.
double RelativeDifference(double a, double b) {
    if (std::isinf(a) || std::isinf(b)) {
        return std::isinf(a) && std::isinf(b) ? 2.0 : 1.0;
    }
    const double largest = std::max(std::fabs(a), std::fabs(b));
    const double absolute = std::fabs(a - b);
    return std::isfinite(absolute) ? absolute / largest : std::fabs(a / largest - b / largest);
}

void RecordProblems(const CFileDiff& diff, const CRecordDiff& record,
                    std::vector<CDiffProblem>& problems) {
    if (record.codeA != record.codeB) {
        problems.push_back(
            {"type-code-differs", fmt::format("{}: type code {} in A, {} in B", RecordName(record),
                                              record.codeA, record.codeB)});
    }
    // Per-particle records of files whose counts differ are covered by the
    // particle count's problem.
    const bool countsDiffer = diff.particlesA != diff.particlesB && PdcCodeIsArray(record.codeA) &&
                              PdcCodeIsArray(record.codeB);
    if (!record.compared && countsDiffer) {
        return;
    }
    if (!record.compared) {
        problems.push_back(
            {"values-not-compared", fmt::format("{}: values not compared: {} in A, {} in B",
                                                RecordName(record), record.countA, record.countB)});
        return;
    }
    for (size_t c = 0; c < static_cast<size_t>(record.components); ++c) {
        if (record.diffs[c].differing > 0) {
            problems.push_back({"values-differ", ComponentText(record, c)});
        }
    }
}

}  // namespace

bool NumbersEqual(double a, double b, double tolerance) {
    if (a == b) {
        return true;
    }
    if (std::isnan(a) || std::isnan(b)) {
        return std::isnan(a) && std::isnan(b);
    }
    return std::fabs(a - b) <= tolerance;
}

void CComponentDiff::Add(int64_t particle, double a, double b, double tolerance) {
    if (NumbersEqual(a, b, tolerance)) {
        return;
    }
    if (differing++ == 0) {
        firstParticle = particle;
        firstA = a;
        firstB = b;
    }
    if (std::isnan(a) || std::isnan(b)) {
        ++withNaN;
        if (withNaN == differing) {
            maxAbsolute = std::numeric_limits<double>::quiet_NaN();
            maxRelative = maxAbsolute;
        }
        return;
    }
    withInfinity += std::isinf(a) || std::isinf(b) ? 1 : 0;
    const double absolute = std::fabs(a - b);
    const double relative = RelativeDifference(a, b);
    // The first pair of numbers replaces the NaN that stood for "none yet".
    const bool firstNumbers = differing - withNaN == 1;
    maxAbsolute = firstNumbers ? absolute : std::max(maxAbsolute, absolute);
    maxRelative = firstNumbers ? relative : std::max(maxRelative, relative);
}

bool CRecordDiff::Equal() const {
    if (!compared || codeA != codeB) {
        return false;
    }
    return std::all_of(diffs.begin(), diffs.end(),
                       [](const CComponentDiff& diff) { return diff.differing == 0; });
}

bool CFileDiff::Equal() const {
    return failure.empty() && particlesA == particlesB && onlyInA.empty() && onlyInB.empty() &&
           std::all_of(records.begin(), records.end(),
                       [](const CRecordDiff& record) { return record.Equal(); });
}

CFileDiff DiffPdcFiles(const std::string& fileA, const std::string& fileB, double tolerance) {
    CFileDiff diff;
    diff.fileA = fileA;
    diff.fileB = fileB;
    CValueCollector collector;
    const CPdcInspection a = InspectPdc(fileA, &collector);
    if (!a.Readable()) {
        diff.failure = fileA + ": " + a.Failure();
        diff.failureKind = a.FailureKind();
        return diff;
    }
    CComparingVisitor comparing(a, collector.Records(), tolerance);
    const CPdcInspection b = InspectPdc(fileB, &comparing);
    if (!b.Readable()) {
        diff.failure = fileB + ": " + b.Failure();
        diff.failureKind = b.FailureKind();
        return diff;
    }
    diff.particlesA = a.header->particleCount;
    diff.particlesB = b.header->particleCount;
    comparing.Finish(diff);
    return diff;
}

std::vector<CDiffProblem> FileDiffProblems(const CFileDiff& diff) {
    std::vector<CDiffProblem> problems;
    if (!diff.failure.empty()) {
        problems.push_back({diff.failureKind, diff.failure});
        return problems;
    }
    if (diff.particlesA != diff.particlesB) {
        problems.push_back(
            {"particle-count-differs",
             fmt::format("particle count: {} in A, {} in B (per-particle values not compared)",
                         diff.particlesA, diff.particlesB)});
    }
    for (const std::string& name : diff.onlyInA) {
        problems.push_back({"only-in-a", Quoted(name) + ": only in A"});
    }
    for (const std::string& name : diff.onlyInB) {
        problems.push_back({"only-in-b", Quoted(name) + ": only in B"});
    }
    for (const CRecordDiff& record : diff.records) {
        RecordProblems(diff, record, problems);
    }
    return problems;
}

std::string FileDiffText(const CFileDiff& diff) {
    std::string out;
    for (const CDiffProblem& problem : FileDiffProblems(diff)) {
        out += "  " + problem.text + "\n";
    }
    return out;
}

nlohmann::ordered_json FileDiffJson(const CFileDiff& diff) {
    nlohmann::ordered_json out;
    out["a"] = diff.fileA;
    out["b"] = diff.fileB;
    out["equal"] = diff.Equal();
    out["error"] =
        diff.failure.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(diff.failure);
    out["particleCount"] = {diff.particlesA, diff.particlesB};
    out["onlyInA"] = diff.onlyInA;
    out["onlyInB"] = diff.onlyInB;
    out["records"] = nlohmann::ordered_json::array();
    for (const CRecordDiff& record : diff.records) {
        nlohmann::ordered_json components = nlohmann::ordered_json::array();
        for (size_t c = 0; record.compared && c < static_cast<size_t>(record.components); ++c) {
            const CComponentDiff& d = record.diffs[c];
            components.push_back(
                {{"differing", d.differing},
                 {"withNaN", d.withNaN},
                 {"withInfinity", d.withInfinity},
                 {"maxAbsolute", StrictNumber(d.maxAbsolute)},
                 {"maxRelative", StrictNumber(d.maxRelative)},
                 {"firstParticle", d.firstParticle < 0 ? nlohmann::ordered_json()
                                                       : nlohmann::ordered_json(d.firstParticle)},
                 {"first", d.firstParticle < 0 ? nlohmann::ordered_json()
                                               : nlohmann::ordered_json{StrictNumber(d.firstA),
                                                                        StrictNumber(d.firstB)}}});
        }
        out["records"].push_back({{"name", record.name},
                                  {"occurrence", record.occurrence},
                                  {"code", {record.codeA, record.codeB}},
                                  {"count", {record.countA, record.countB}},
                                  {"compared", record.compared},
                                  {"components", components}});
    }
    out["problems"] = nlohmann::ordered_json::array();
    for (const CDiffProblem& problem : FileDiffProblems(diff)) {
        out["problems"].push_back({{"kind", problem.kind}, {"text", problem.text}});
    }
    return out;
}

}  // namespace VelpoTools
