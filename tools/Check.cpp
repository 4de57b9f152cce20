// velpo check: a sequence of cache files checked frame by frame and from
// one frame to the next, for what a broken or stuck simulation leaves.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "tools/Command.h"
#include "tools/Output.h"
#include "tools/Text.h"
#include "tools/contents/SequenceCheck.h"
#include "tools/sequence/FrameRunner.h"
#include "tools/sequence/Progress.h"
#include "tools/sequence/SequenceOptions.h"

namespace VelpoTools {

namespace {

using VelpoHost::CResult;

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
    std::vector<CCheckProblem> gaps;
};

CResult FindSequence(const CCheckOptions& options, const CSequenceChoice& choice,
                     CCheckedSequence& sequence) {
    if (!options.settings.empty()) {
        std::vector<CSequenceFrame> all;
        if (CResult named = SettingsSequence(options.settings, *choice.range, all); !named) {
            return named;
        }
        sequence.frames = TakeShard(all, choice.shard);
        return CResult::Ok();
    }
    const bool numbered = options.pattern.find('#') != std::string::npos;
    if (choice.range || !numbered) {
        return ResolvePattern(options.pattern, choice, sequence.frames);
    }
    std::vector<CSequenceFrame> all;
    if (CResult found = PatternSequence(options.pattern, std::nullopt, all); !found) {
        return found;
    }
    std::vector<int32_t> numbers;
    for (const CSequenceFrame& frame : all) {
        numbers.push_back(frame.frame);
    }
    for (const CFrameGap& gap : FrameGaps(numbers)) {
        if (gap.after % choice.shard.count == choice.shard.index) {
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
                 "cannot be searched for leftover temporary files: " + found.Message()});
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
    return "frame " + std::to_string(frame) + " (" + Escaped(file) + ")";
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
        line += ", " + std::to_string(facts.particleCount) + " particles, " +
                std::to_string(facts.attributes.size()) + " attributes";
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
        line += " (" + std::to_string(facts.front().frame) + " to " +
                std::to_string(facts.back().frame) + ", " + std::to_string(bytes) + " bytes)";
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

nlohmann::ordered_json FactsJson(const CFrameFacts& facts,
                                 const std::vector<CCheckProblem>& problems) {
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
    row["contentHash"] = nullptr;
    if (facts.Readable()) {
        // Sixteen hex digits, by shifts: the same text on every C library.
        std::string hash(16, '0');
        for (size_t i = 0; i < 16; ++i) {
            hash[15 - i] = "0123456789abcdef"[(facts.contentHash >> (4 * i)) & 0xF];
        }
        row["contentHash"] = hash;
    }
    row["problems"] = nlohmann::ordered_json::array();
    for (const CCheckProblem& problem : problems) {
        if (problem.frame == facts.frame && problem.file == facts.file) {
            row["problems"].push_back(
                {{"severity", SeverityName(problem.severity)}, {"text", problem.text}});
        }
    }
    return row;
}

std::string JsonReport(const std::vector<CFrameFacts>& facts,
                       const std::vector<CCheckProblem>& problems, const CCounts& counts) {
    nlohmann::ordered_json out;
    out["frames"] = nlohmann::ordered_json::array();
    for (const CFrameFacts& frame : facts) {
        out["frames"].push_back(FactsJson(frame, problems));
    }
    out["problems"] = nlohmann::ordered_json::array();
    for (const CCheckProblem& problem : problems) {
        out["problems"].push_back(
            {{"severity", SeverityName(problem.severity)},
             {"frame", problem.frame ? nlohmann::ordered_json(*problem.frame) : nullptr},
             {"file", problem.file},
             {"text", problem.text}});
    }
    out["errors"] = counts.errors;
    out["warnings"] = counts.warnings;
    return out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

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
    if (CResult found = FindSequence(options, choice, sequence); !found) {
        PrintError("check", found.Message());
        return ExitFailed;
    }
    std::vector<CFrameFacts> facts(sequence.frames.size());
    {
        CProgress progress("check", facts.size(), choice.progress);
        RunFrames(
            facts.size(), choice.jobs,
            [&](size_t i, CFrameReport& report) {
                facts[i] = FrameFacts(sequence.frames[i]);
                report.bytes = static_cast<uint64_t>(facts[i].size);
            },
            &progress);
    }
    std::vector<CCheckProblem> problems =
        SequenceProblems(facts, CCheckLimits{options.maxCountChange});
    problems.insert(problems.end(), sequence.gaps.begin(), sequence.gaps.end());
    const std::vector<CCheckProblem> folders = FolderProblems(sequence.frames);
    problems.insert(problems.end(), folders.begin(), folders.end());
    SortProblems(problems);

    const CCounts counts = Count(problems);
    COutput& out = StandardOutput();
    if (options.json) {
        out.Write(JsonReport(facts, problems, counts));
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
        ->check(CLI::NonNegativeNumber);
    command->add_flag("--strict", options->strict, "Warnings fail too (exit status 1)");
    command->add_flag("--json", options->json,
                      "One JSON object: frames [{frame, file, present, readable, size, "
                      "particleCount, attributes, contentHash, problems}], problems [{severity, "
                      "frame, file, text}], errors, warnings");
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
        "Example:\n"
        "  velpo check velpo-demo/particles.#.pdc\n"
        "  velpo check --settings fluid.json --frames 1-48 --strict\n"
        "  velpo check 'cache/fluid.#.pdc' --frames 1-500 --json > report.json");
    command->callback([options, &exitCode] { exitCode = RunCheck(*options); });
}

}  // namespace VelpoTools
