// velpo check: a sequence of cache files checked frame by frame and from
// one frame to the next, for what a broken or stuck simulation leaves.
#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "tools/cli/Command.h"
#include "tools/cli/OptionChecks.h"
#include "tools/cli/StandardConsole.h"
#include "tools/common/Output.h"
#include "tools/common/Settings.h"
#include "tools/common/Text.h"
#include "tools/contents/ReportJson.h"
#include "tools/contents/SequenceCheck.h"
#include "tools/sequence/FrameRunner.h"
#include "tools/sequence/Progress.h"
#include "tools/sequence/SequenceOptions.h"

namespace VelpoTools {

namespace {

using Velpo::CResult;

struct CCheckOptions {
    std::string pattern;
    std::string settings;
    CSequenceOptions sequence;
    double maxCountChange = 0.5;
    bool strict = false;
    bool json = false;
    bool verbose = false;
};

// The frames to read and the gaps between the files a pattern found, both
// under the shard. A gap belongs to the shard that holds the frame before
// it, so the shards of a farm report each gap once.
struct CCheckedSequence {
    std::vector<CSequenceFrame> frames;
    std::vector<CFrameGap> gapRanges;     // the frames of each gap, for the JSON rows
    std::vector<CCheckProblem> gaps;      // one error per gap
    std::vector<std::string> unnumbered;  // files left out of the pattern
};

// Settings that name two frames' files alike are usage, as for export.
int SettingsFrames(const CCheckOptions& options, const CSequenceChoice& choice,
                   CCheckedSequence& sequence) {
    CSettings settings;
    if (CResult read = ReadSettings(options.settings, settings); !read) {
        PrintError("check", read.Message());
        return ExitFailed;
    }
    // With the settings read, naming fails only on two frames of one file.
    std::vector<CSequenceFrame> all;
    if (CResult named = SettingsSequence(settings, *choice.range, all); !named) {
        return UsageError("check", named);
    }
    sequence.frames = TakeShard(all, choice.shard);
    return ExitOk;
}

CResult FindSequence(const CCheckOptions& options, const CSequenceChoice& choice,
                     CCheckedSequence& sequence) {
    const bool numbered = options.pattern.find('#') != std::string::npos;
    if (choice.range || !numbered) {
        return ResolvePattern(options.pattern, choice, sequence.frames, &sequence.unnumbered);
    }
    std::vector<CSequenceFrame> all;
    if (CResult found = PatternSequence(options.pattern, std::nullopt, all, &sequence.unnumbered);
        !found) {
        return found;
    }
    std::vector<int32_t> numbers;
    for (const CSequenceFrame& frame : all) {
        numbers.push_back(frame.frame);
    }
    for (const CFrameGap& gap : FrameGaps(numbers)) {
        if (gap.after % choice.shard.count == choice.shard.index) {
            sequence.gapRanges.push_back(gap);
            sequence.gaps.push_back(
                GapProblem(gap, FrameFile(options.pattern, static_cast<int32_t>(gap.first))));
        }
    }
    sequence.frames = TakeShard(all, choice.shard);
    return CResult::Ok();
}

// The folders that hold the sequence's files, in order of first use.
std::vector<std::string> Folders(const std::vector<CSequenceFrame>& frames) {
    std::vector<std::string> folders;
    std::set<std::string> seen;
    for (const CSequenceFrame& frame : frames) {
        const std::filesystem::path file(frame.file);
        const std::string folder = file.has_parent_path() ? file.parent_path().string() : ".";
        if (seen.insert(folder).second) {
            folders.push_back(folder);
        }
    }
    return folders;
}

std::vector<CCheckProblem> FolderProblems(const std::vector<CSequenceFrame>& frames) {
    std::vector<CCheckProblem> problems;
    for (const std::string& folder : Folders(frames)) {
        std::error_code code;
        if (!std::filesystem::is_directory(folder, code)) {
            continue;  // its frames are missing, which says enough
        }
        CLeftovers leftovers;
        if (CResult found = FindLeftovers(folder, leftovers); !found) {
            problems.push_back(
                {CSeverity::Warning, std::nullopt, folder,
                 "cannot be searched for leftover temporary files: " + found.Message(),
                 "folder-unsearchable"});
            continue;
        }
        for (CCheckProblem& problem : LeftoverProblems(leftovers)) {
            problems.push_back(std::move(problem));
        }
    }
    return problems;
}

// Frame problems in frame order, then those of folders.
void SortProblems(std::vector<CCheckProblem>& problems) {
    std::stable_sort(problems.begin(), problems.end(),
                     [](const CCheckProblem& a, const CCheckProblem& b) {
                         if (a.frame.has_value() != b.frame.has_value()) {
                             return a.frame.has_value();
                         }
                         return a.frame.has_value() && *a.frame < *b.frame;
                     });
}

const char* SeverityName(CSeverity severity) {
    return severity == CSeverity::Error ? "error" : "warning";
}

std::string FrameName(int32_t frame, const std::string& file) {
    return fmt::format("frame {} ({})", frame, Escaped(file));
}

std::string ProblemLine(const CCheckProblem& problem) {
    const std::string where =
        problem.frame ? FrameName(*problem.frame, problem.file) : Escaped(problem.file);
    return where + ": " + SeverityName(problem.severity) + ": " + problem.text + "\n";
}

std::string FactsLine(const CFrameFacts& facts) {
    std::string line = FrameName(facts.frame, facts.file) + ": ";
    if (!facts.present) {
        return line + "missing\n";
    }
    line += std::to_string(facts.size) + " bytes";
    if (facts.Readable()) {
        line += fmt::format(", {} particles, {} attributes", facts.particleCount,
                            facts.attributes.size());
    }
    return line + "\n";
}

struct CCounts {
    size_t errors = 0;
    size_t warnings = 0;
};

CCounts Count(const std::vector<CCheckProblem>& problems) {
    CCounts counts;
    for (const CCheckProblem& problem : problems) {
        (problem.severity == CSeverity::Error ? counts.errors : counts.warnings) += 1;
    }
    return counts;
}

std::string Plural(size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string SummaryLine(const std::vector<CFrameFacts>& facts, const CCounts& counts,
                        const CCheckOptions& options) {
    int64_t bytes = 0;
    for (const CFrameFacts& frame : facts) {
        bytes += frame.size;
    }
    std::string line = "checked " + Plural(facts.size(), "frame", "frames");
    if (!facts.empty()) {
        line +=
            fmt::format(" ({} to {}, {} bytes)", facts.front().frame, facts.back().frame, bytes);
    }
    if (!options.sequence.shard.empty()) {
        line += " of shard " + options.sequence.shard;
    }
    if (counts.errors == 0 && counts.warnings == 0) {
        return line + ": no problems\n";
    }
    return line + ": " + Plural(counts.errors, "error", "errors") + ", " +
           Plural(counts.warnings, "warning", "warnings") +
           (options.strict && counts.warnings > 0 ? " (--strict: warnings fail)" : "") + "\n";
}

// Only the problems, or with --verbose a line per frame with its problems
// below it.
std::string Report(const std::vector<CFrameFacts>& facts,
                   const std::vector<CCheckProblem>& problems, const CCheckOptions& options) {
    std::string out;
    size_t row = 0;
    const CFrameFacts* shown = nullptr;
    for (const CCheckProblem& problem : problems) {
        // With --verbose, the frames up to this problem's first; all of
        // them before the problems of folders.
        while (options.verbose && row < facts.size() &&
               (!problem.frame || facts[row].frame <= *problem.frame)) {
            shown = &facts[row++];
            out += FactsLine(*shown);
        }
        if (options.verbose && shown && problem.frame == shown->frame &&
            problem.file == shown->file) {
            out += std::string("  ") + SeverityName(problem.severity) + ": " + problem.text + "\n";
        } else {
            out += ProblemLine(problem);
        }
    }
    for (; options.verbose && row < facts.size(); ++row) {
        out += FactsLine(facts[row]);
    }
    return out;
}

nlohmann::ordered_json ProblemJson(const CCheckProblem& problem, bool placed) {
    nlohmann::ordered_json out;
    out["severity"] = SeverityName(problem.severity);
    out["kind"] = problem.kind;
    if (placed) {
        out["frame"] = problem.frame ? nlohmann::ordered_json(*problem.frame) : nullptr;
        out["file"] = problem.file;
    }
    out["text"] = problem.text;
    return out;
}

// Sixteen lower-case hex digits, leading zeros kept.
std::string HashText(uint64_t hash) {
    return fmt::format("{:016x}", hash);
}

nlohmann::ordered_json FactsJson(const CFrameFacts& facts, nlohmann::ordered_json problems) {
    nlohmann::ordered_json row;
    row["frame"] = facts.frame;
    row["file"] = facts.file;
    row["present"] = facts.present;
    row["readable"] = facts.Readable();
    row["size"] = facts.present ? nlohmann::ordered_json(facts.size) : nullptr;
    row["particleCount"] = facts.Readable() ? nlohmann::ordered_json(facts.particleCount) : nullptr;
    row["attributes"] = nlohmann::ordered_json::array();
    for (const CAttributeFacts& attribute : facts.attributes) {
        row["attributes"].push_back({{"name", attribute.name},
                                     {"code", attribute.code},
                                     {"nan", attribute.nan},
                                     {"infinite", attribute.infinite}});
    }
    row["contentHash"] =
        facts.Readable() ? nlohmann::ordered_json(HashText(facts.contentHash)) : nullptr;
    row["problems"] = std::move(problems);
    return row;
}

// The report, written row by row as it is made: a sequence of a million
// frames never stands in memory as one JSON document. Every frame finds its
// problems through an index, so the time is linear in frames and problems.
class CJsonReport {
public:
    CJsonReport(COutput& out, const std::vector<CCheckProblem>& problems) : out_(out) {
        for (const CCheckProblem& problem : problems) {
            if (problem.frame) {
                byFrame_[*problem.frame].push_back(&problem);
            }
        }
    }

    // frames[]: every frame read, and in frame order among them every
    // frame of a gap the files found leave (not read: present false).
    void Rows(const std::vector<CFrameFacts>& facts, const std::vector<CFrameGap>& gaps,
              const std::string& pattern) {
        out_.Write("{\"frames\":[");
        size_t gap = 0;
        for (const CFrameFacts& frame : facts) {
            for (; gap < gaps.size() && gaps[gap].first < frame.frame && out_.Ok(); ++gap) {
                GapRows(gaps[gap], pattern);
            }
            if (!out_.Ok()) {
                return;
            }
            Row(FactsJson(frame, ProblemsOf(frame.frame, frame.file)));
            missing_ += frame.present ? 0 : 1;
        }
        for (; gap < gaps.size() && out_.Ok(); ++gap) {
            GapRows(gaps[gap], pattern);
        }
        out_.Write("]");
    }

    void Rest(const std::vector<CCheckProblem>& problems, const CCounts& counts) {
        out_.Write(",\"problems\":[");
        for (size_t i = 0; i < problems.size() && out_.Ok(); ++i) {
            out_.Write((i == 0 ? "" : ",") + ReportText(ProblemJson(problems[i], true)));
        }
        out_.Write(fmt::format("],\"errors\":{},\"warnings\":{},\"missingFrames\":{}}}\n",
                               counts.errors, counts.warnings, missing_));
    }

private:
    nlohmann::ordered_json ProblemsOf(int32_t frame, const std::string& file) const {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        const auto found = byFrame_.find(frame);
        if (found != byFrame_.end()) {
            for (const CCheckProblem* problem : found->second) {
                if (problem->file == file) {
                    list.push_back(ProblemJson(*problem, false));
                }
            }
        }
        return list;
    }

    // A gap's first frame carries the gap's error; the others say only
    // that they are missing. Rows stop after MaxSequenceFrames in all, as a
    // run given --frames holds no more; missingFrames still counts them.
    void GapRows(const CFrameGap& gap, const std::string& pattern) {
        missing_ += static_cast<uint64_t>(gap.Count());
        for (int64_t frame = gap.first; frame <= gap.last && gapRows_ < MaxSequenceFrames;
             frame += gap.step, ++gapRows_) {
            CFrameFacts facts;
            facts.frame = static_cast<int32_t>(frame);
            facts.file = FrameFile(pattern, facts.frame);
            nlohmann::ordered_json problems = ProblemsOf(facts.frame, facts.file);
            if (problems.empty()) {
                problems.push_back(ProblemJson(
                    {CSeverity::Error, facts.frame, facts.file, "missing", "missing-frame"},
                    false));
            }
            Row(FactsJson(facts, std::move(problems)));
            if (!out_.Ok()) {
                return;
            }
        }
    }

    void Row(const nlohmann::ordered_json& row) {
        out_.Write((rows_++ == 0 ? "" : ",") + ReportText(row));
    }

    COutput& out_;
    std::unordered_map<int32_t, std::vector<const CCheckProblem*>> byFrame_;
    uint64_t rows_ = 0;
    int64_t gapRows_ = 0;
    uint64_t missing_ = 0;
};

CResult CheckUsage(const CCheckOptions& options, const CSequenceChoice& choice) {
    if (options.pattern.empty() == options.settings.empty()) {
        return CResult::Fail("give either a file or '#' pattern, or --settings");
    }
    if (!options.settings.empty() && !choice.range) {
        return CResult::Fail("--settings needs --frames A-B");
    }
    return CResult::Ok();
}

int RunCheck(const CCheckOptions& options) {
    CSequenceChoice choice;
    if (CResult parsed = ParseSequenceOptions(options.sequence, choice); !parsed) {
        return UsageError("check", parsed);
    }
    if (CResult usage = CheckUsage(options, choice); !usage) {
        return UsageError("check", usage);
    }
    CCheckedSequence sequence;
    if (!options.settings.empty()) {
        if (const int named = SettingsFrames(options, choice, sequence); named != ExitOk) {
            return named;
        }
    } else {
        const CResult found = FindSequence(options, choice, sequence);
        if (!found) {
            for (const std::string& file : sequence.unnumbered) {
                PrintWarning("check", UnnumberedWarning(file, options.pattern));
            }
            PrintError("check", found.Message());
            return ExitFailed;
        }
    }
    std::vector<CFrameFacts> facts(sequence.frames.size());
    {
        CProgress progress("check", facts.size(), choice.progress, StandardConsole());
        RunFrames(
            facts.size(), choice.jobs,
            [&](size_t i, CFrameReport& report) {
                facts[i] = FrameFacts(sequence.frames[i]);
                report.bytes = static_cast<uint64_t>(facts[i].size);
            },
            StandardConsole(), &progress);
    }
    std::vector<CCheckProblem> problems =
        SequenceProblems(facts, CCheckLimits{options.maxCountChange});
    problems.insert(problems.end(), sequence.gaps.begin(), sequence.gaps.end());
    const std::vector<CCheckProblem> folders = FolderProblems(sequence.frames);
    problems.insert(problems.end(), folders.begin(), folders.end());
    for (const std::string& file : sequence.unnumbered) {
        problems.push_back({CSeverity::Warning, std::nullopt, file,
                            "fits the pattern, but its number is beyond the frame numbers "
                            "(-2147483648 to 2147483647); left out",
                            "unnumbered-file"});
    }
    SortProblems(problems);

    const CCounts counts = Count(problems);
    COutput& out = StandardOutput();
    if (options.json) {
        CJsonReport report(out, problems);
        report.Rows(facts, sequence.gapRanges, options.pattern);
        report.Rest(problems, counts);
    } else {
        out.Write(Report(facts, problems, options) + SummaryLine(facts, counts, options));
    }
    const bool failed = counts.errors > 0 || (options.strict && counts.warnings > 0);
    return failed ? ExitFailed : ExitOk;
}

}  // namespace

void AddCheckCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CCheckOptions>();
    CLI::App* command = app.add_subcommand(
        "check",
        "Check a sequence of cache files: missing or unreadable frames, attributes that come "
        "and go, particle counts that jump, NaN and infinite values, empty and identical "
        "frames, leftovers of interrupted writes.");
    command->add_option("pattern", options->pattern,
                        "Cache files, '#' standing for the frame number (all files that fit "
                        "when no --frames are given), or one file");
    command->add_option("--settings", options->settings,
                        "Settings JSON naming the files as the nodes do (needs --frames)");
    AddSequenceOptions(*command, options->sequence);
    command
        ->add_option("--max-count-change", options->maxCountChange,
                     "Largest particle-count change between successive frames taken as normal, "
                     "as |n1 - n0| / max(n0, 1) (default 0.5: 1000 -> 1500 passes, 1000 -> "
                     "1501 is warned about)")
        ->check(FiniteNonNegative());
    command->add_flag("--strict", options->strict, "Warnings fail too (exit status 1)");
    command->add_flag("--json", options->json,
                      "One JSON object: frames [{frame, file, present, readable, size, "
                      "particleCount, attributes [{name, code, nan, infinite}], contentHash, "
                      "problems [{severity, kind, text}]}], problems [{severity, kind, frame, "
                      "file, text}], errors, warnings, missingFrames");
    command->add_flag("--verbose", options->verbose,
                      "A line for every frame, with its problems below it");
    command->footer(
        "Errors (exit status 1): a frame whose file is missing, or that cannot be read, with "
        "the reason. Warnings (exit status 0, 1 with --strict): an empty frame; NaN or "
        "infinite values, per attribute; an attribute that appears, vanishes or changes type "
        "code since the frame before; a particle count that changes by more than "
        "--max-count-change; a frame identical to the one before (same records and values, "
        "by a 64-bit hash taken while reading); a leftover temporary file of an interrupted "
        "write in a folder of the sequence. A frame is compared with the readable frame "
        "before it. Without --frames, the frame numbers that the files found skip are missing "
        "frames (the numbers step by the largest step that fits them all). Each file is read "
        "once. The results are the same for any --jobs. With --shard K/N the per-frame "
        "findings are the shard's share of an unsharded run's, but a shard compares only the "
        "frames it holds: each with the shard's frame before it, N frames earlier.\n"
        "The JSON is strict (RFC 8259), as jq and every JSON parser take it. Its frames "
        "list every frame checked and, without --frames, every frame missing between the "
        "files found (present false; at most 1000000 such rows, missingFrames counts them "
        "all). Each problem has a stable kind: missing-frame; for an unreadable frame the "
        "kind 'velpo info' gives (truncated, forged-length, count-exceeds-file...); "
        "empty-frame, nan-values, infinite-values, count-jump, attribute-appeared, "
        "attribute-vanished, type-code-changed, identical-frame, leftover-file, "
        "folder-unsearchable, unnumbered-file (a file that fits the pattern with a number "
        "beyond 32 bits, left out).\n"
        "Example:\n"
        "  velpo check velpo-demo/particles.#.pdc\n"
        "  velpo check --settings fluid.json --frames 1-48 --strict\n"
        "  velpo check 'cache/fluid.#.pdc' --frames 1-500 --json > report.json");
    command->callback([options, &exitCode] { exitCode = RunCheck(*options); });
}

}  // namespace VelpoTools
