#include "tools/contents/SequenceCheck.h"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <numeric>
#include <system_error>

#include "pdc/SlotFilling.h"
#include "tools/common/Numbers.h"
#include "tools/common/Text.h"
#include "tools/contents/ContentHash.h"
#include "tools/contents/FileReport.h"

namespace VelpoTools {

namespace {

// Feeds every record's name, code, count and values to the hash, in the
// walk that inspects the file.
class CHashingVisitor : public CPdcValueVisitor {
public:
    bool Wants(const CPdcRecord& record) override {
        hash_.AddBytes(record.name);
        hash_.Add(record.nameCut ? 1 : 0);
        hash_.Add(static_cast<uint32_t>(record.code));
        hash_.Add(static_cast<uint64_t>(record.count));
        return true;
    }

    void Values(const CPdcRecord&, int64_t, const double* values, size_t count) override {
        hash_.AddDoubles(values, count);
    }

    CContentHash& Hash() { return hash_; }

private:
    CContentHash hash_;
};

CCheckProblem FrameError(const CFrameFacts& facts, std::string kind, std::string text) {
    return {CSeverity::Error, facts.frame, facts.file, std::move(text), std::move(kind)};
}

CCheckProblem FrameWarning(const CFrameFacts& facts, std::string kind, std::string text) {
    return {CSeverity::Warning, facts.frame, facts.file, std::move(text), std::move(kind)};
}

// "attribute "mass" holds 2 NaN values".
std::string NonFiniteText(const CAttributeFacts& attribute, uint64_t count, const char* what) {
    return fmt::format("attribute {} holds {} {} value{}", Quoted(attribute.name), count, what,
                       count == 1 ? "" : "s");
}

// The code of each attribute by name (FrameFacts keeps one record per name).
std::map<std::string, int32_t> CodesByName(const CFrameFacts& facts) {
    std::map<std::string, int32_t> codes;
    for (const CAttributeFacts& attribute : facts.attributes) {
        codes.emplace(attribute.name, attribute.code);
    }
    return codes;
}

std::string Percent(double ratio) {
    return fmt::format("{:.0f}%", ratio * 100.0);
}

}  // namespace

CFrameFacts FrameFacts(const CSequenceFrame& frame) {
    CFrameFacts facts;
    facts.frame = frame.frame;
    facts.file = frame.file;
    std::error_code code;
    const std::filesystem::file_status status = std::filesystem::status(frame.file, code);
    facts.present = status.type() != std::filesystem::file_type::not_found;
    if (!facts.present) {
        return facts;
    }
    CHashingVisitor hashing;
    const CPdcInspection inspection = InspectPdc(frame.file, &hashing);
    facts.size = inspection.fileSize;
    facts.failure = inspection.Failure();
    facts.failureKind = inspection.FailureKind();
    if (!facts.failure.empty()) {
        return facts;
    }
    facts.particleCount = inspection.header->particleCount;
    // Of records sharing a name, the one the readers deliver speaks for it.
    CPdcNameFilling names;
    for (const CInspectedRecord& inspected : inspection.records) {
        names.Take(inspected.record);
    }
    for (const CInspectedRecord& inspected : inspection.records) {
        if (!names.Delivers(inspected.record.index)) {
            continue;
        }
        CAttributeFacts& attribute = facts.attributes.emplace_back();
        attribute.name = inspected.record.name;
        attribute.code = inspected.record.code;
        for (const CComponentStats& stats : inspected.stats) {
            attribute.nan += stats.nan;
            attribute.infinite += stats.infinite;
        }
    }
    hashing.Hash().Add(static_cast<uint64_t>(facts.particleCount));
    facts.contentHash = hashing.Hash().Value();
    return facts;
}

double CountChange(int64_t before, int64_t after) {
    const double change = std::fabs(static_cast<double>(after) - static_cast<double>(before));
    return change / static_cast<double>(std::max<int64_t>(before, 1));
}

std::vector<CCheckProblem> FrameProblems(const CFrameFacts& facts) {
    std::vector<CCheckProblem> problems;
    if (!facts.present) {
        problems.push_back(FrameError(facts, "missing-frame", "missing"));
        return problems;
    }
    if (!facts.Readable()) {
        problems.push_back(FrameError(facts, facts.failureKind, "unreadable: " + facts.failure));
        return problems;
    }
    if (facts.particleCount == 0) {
        problems.push_back(FrameWarning(facts, "empty-frame", "empty: 0 particles"));
    }
    for (const CAttributeFacts& attribute : facts.attributes) {
        if (attribute.nan > 0) {
            problems.push_back(
                FrameWarning(facts, "nan-values", NonFiniteText(attribute, attribute.nan, "NaN")));
        }
        if (attribute.infinite > 0) {
            problems.push_back(
                FrameWarning(facts, "infinite-values",
                             NonFiniteText(attribute, attribute.infinite, "infinite")));
        }
    }
    return problems;
}

std::vector<CCheckProblem> ChangeProblems(const CFrameFacts& before, const CFrameFacts& after,
                                          const CCheckLimits& limits) {
    std::vector<CCheckProblem> problems;
    const std::string since = " since frame " + std::to_string(before.frame);
    const double change = CountChange(before.particleCount, after.particleCount);
    if (change > limits.maxCountChange) {
        problems.push_back(FrameWarning(
            after, "count-jump",
            fmt::format("particle count jumps from {} to {}{} (a change of {}, more than "
                        "--max-count-change {})",
                        before.particleCount, after.particleCount, since, Percent(change),
                        FormatDouble(limits.maxCountChange))));
    }
    const std::map<std::string, int32_t> was = CodesByName(before);
    const std::map<std::string, int32_t> is = CodesByName(after);
    for (const auto& [name, code] : is) {
        const auto earlier = was.find(name);
        if (earlier == was.end()) {
            problems.push_back(FrameWarning(after, "attribute-appeared",
                                            "attribute " + Quoted(name) + " appears" + since));
        } else if (earlier->second != code) {
            problems.push_back(
                FrameWarning(after, "type-code-changed",
                             fmt::format("attribute {} changes type code from {} to {}{}",
                                         Quoted(name), earlier->second, code, since)));
        }
    }
    for (const auto& [name, code] : was) {
        if (!is.count(name)) {
            problems.push_back(FrameWarning(after, "attribute-vanished",
                                            "attribute " + Quoted(name) + " vanishes" + since));
        }
    }
    if (before.contentHash == after.contentHash) {
        problems.push_back(
            FrameWarning(after, "identical-frame",
                         fmt::format("identical to frame {} (a stuck simulation?)", before.frame)));
    }
    return problems;
}

std::vector<CCheckProblem> SequenceProblems(const std::vector<CFrameFacts>& frames,
                                            const CCheckLimits& limits) {
    std::vector<CCheckProblem> problems;
    const CFrameFacts* previous = nullptr;
    for (const CFrameFacts& facts : frames) {
        for (CCheckProblem& problem : FrameProblems(facts)) {
            problems.push_back(std::move(problem));
        }
        if (!facts.Readable()) {
            continue;
        }
        if (previous) {
            for (CCheckProblem& problem : ChangeProblems(*previous, facts, limits)) {
                problems.push_back(std::move(problem));
            }
        }
        previous = &facts;
    }
    return problems;
}

std::vector<CFrameGap> FrameGaps(const std::vector<int32_t>& numbers) {
    int64_t step = 0;
    for (size_t i = 1; i < numbers.size(); ++i) {
        step = std::gcd(step, int64_t{numbers[i]} - numbers[i - 1]);
    }
    std::vector<CFrameGap> gaps;
    for (size_t i = 1; i < numbers.size() && step > 0; ++i) {
        if (int64_t{numbers[i]} - numbers[i - 1] > step) {
            gaps.push_back(
                {i - 1, int64_t{numbers[i - 1]} + step, int64_t{numbers[i]} - step, step});
        }
    }
    return gaps;
}

CCheckProblem GapProblem(const CFrameGap& gap, const std::string& file) {
    std::string text;
    if (gap.first == gap.last) {
        text = fmt::format("missing (frames {} and {} are there)", gap.first - gap.step,
                           gap.last + gap.step);
    } else {
        text = fmt::format("missing, with {} more up to frame {}", gap.Count() - 1, gap.last);
        if (gap.step != 1) {
            text += fmt::format(" (numbers step by {})", gap.step);
        }
    }
    return {CSeverity::Error, static_cast<int32_t>(gap.first), file, text, "missing-frame"};
}

std::vector<CCheckProblem> LeftoverProblems(const CLeftovers& leftovers) {
    std::vector<CCheckProblem> problems;
    for (const CLeftoverFile& file : leftovers.files) {
        problems.push_back(
            {CSeverity::Warning, std::nullopt,
             (std::filesystem::path(leftovers.folder) / file.name).string(),
             fmt::format("leftover temporary file of an interrupted write: {} bytes, last "
                         "written {} by process {} (not deleted)",
                         file.size, AgeText(leftovers.now - file.modified), file.processID),
             "leftover-file"});
    }
    return problems;
}

}  // namespace VelpoTools
