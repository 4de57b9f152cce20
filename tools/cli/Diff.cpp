// velpo diff: two PDC files, or two sequences frame by frame, compared
// value by value.
#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "tools/cli/Command.h"
#include "tools/cli/OptionChecks.h"
#include "tools/cli/StandardConsole.h"
#include "tools/common/Numbers.h"
#include "tools/common/Output.h"
#include "tools/common/Text.h"
#include "tools/contents/CacheDiff.h"
#include "tools/contents/ReportJson.h"
#include "tools/sequence/FrameRunner.h"
#include "tools/sequence/Progress.h"
#include "tools/sequence/SequenceOptions.h"

namespace VelpoTools {

namespace {

using Velpo::CResult;

struct CDiffOptions {
    std::string a;
    std::string b;
    double tolerance = 0.0;
    bool json = false;
    CSequenceOptions sequence;
};

// One frame of both sequences; `frame` unset when two files are compared.
struct CFramePair {
    std::optional<int32_t> frame;
    std::string fileA;
    std::string fileB;
};

struct CFrameResult {
    bool presentA = false;
    bool presentB = false;
    CFileDiff diff;

    bool Equal() const { return presentA && presentB && diff.Equal(); }
    bool Failed() const { return (!presentA && !presentB) || !diff.failure.empty(); }
};

bool Present(const std::string& file) {
    std::error_code code;
    return std::filesystem::status(file, code).type() != std::filesystem::file_type::not_found;
}

CFrameResult DiffFrame(const CFramePair& pair, double tolerance) {
    CFrameResult result;
    result.presentA = Present(pair.fileA);
    result.presentB = Present(pair.fileB);
    if (result.presentA && result.presentB) {
        result.diff = DiffPdcFiles(pair.fileA, pair.fileB, tolerance);
    } else {
        result.diff.fileA = pair.fileA;
        result.diff.fileB = pair.fileB;
        if (!result.presentA && !result.presentB) {
            result.diff.failure = pair.fileA + " and " + pair.fileB + ": both missing";
            result.diff.failureKind = "missing-frame";
        }
    }
    return result;
}

// The frames of either pattern, shard applied to their union so that the
// shards of a farm pair the same files.
CResult PairFrames(const CDiffOptions& options, const CSequenceChoice& choice,
                   std::vector<CFramePair>& pairs) {
    CSequenceChoice whole = choice;
    whole.shard = CShard();
    std::vector<CSequenceFrame> a;
    std::vector<CSequenceFrame> b;
    for (const auto& [pattern, frames] : {std::pair{&options.a, &a}, {&options.b, &b}}) {
        std::vector<std::string> unnumbered;
        const CResult found = ResolvePattern(*pattern, whole, *frames, &unnumbered);
        for (const std::string& file : unnumbered) {
            PrintWarning("diff", UnnumberedWarning(file, *pattern));
        }
        if (!found) {
            return found;
        }
    }
    std::map<int32_t, CFramePair> byFrame;
    for (const CSequenceFrame& frame : a) {
        byFrame[frame.frame] = {frame.frame, frame.file, FrameFile(options.b, frame.frame)};
    }
    for (const CSequenceFrame& frame : b) {
        if (!byFrame.count(frame.frame)) {
            byFrame[frame.frame] = {frame.frame, FrameFile(options.a, frame.frame), frame.file};
        }
    }
    std::vector<CSequenceFrame> all;
    for (const auto& [frame, pair] : byFrame) {
        all.push_back({frame, std::string()});
    }
    for (const CSequenceFrame& frame : TakeShard(all, choice.shard)) {
        pairs.push_back(byFrame[frame.frame]);
    }
    return CResult::Ok();
}

// "only in A (b/p.3.pdc is missing)" for a frame on one side only.
std::string OneSideText(const CFramePair& pair, const CFrameResult& result) {
    const std::string& missing = result.presentA ? pair.fileB : pair.fileA;
    return std::string("only in ") + (result.presentA ? "A" : "B") + " (" + Escaped(missing) +
           " is missing)";
}

std::string FrameText(const CFramePair& pair, const CFrameResult& result, double tolerance) {
    const std::string frame = pair.frame ? fmt::format("frame {}: ", *pair.frame) : "";
    if (!result.diff.failure.empty()) {
        return frame + "error: " + Escaped(result.diff.failure) + "\n";
    }
    if (!result.presentA || !result.presentB) {
        return frame + OneSideText(pair, result) + "\n";
    }
    if (result.diff.Equal()) {
        return pair.frame ? std::string()
                          : Escaped(pair.fileA) + " and " + Escaped(pair.fileB) + " are equal" +
                                (tolerance > 0 ? " within " + FormatDouble(tolerance) : "") + "\n";
    }
    return (pair.frame ? frame : std::string()) + Escaped(pair.fileA) + " and " +
           Escaped(pair.fileB) + " differ:\n" + FileDiffText(result.diff);
}

std::string SummaryLine(const std::vector<CFrameResult>& results, double tolerance) {
    size_t differ = 0;
    size_t failed = 0;
    for (const CFrameResult& result : results) {
        failed += result.Failed() ? 1 : 0;
        differ += !result.Failed() && !result.Equal() ? 1 : 0;
    }
    std::string line =
        "compared " + std::to_string(results.size()) + (results.size() == 1 ? " frame" : " frames");
    if (tolerance > 0) {
        line += " within " + FormatDouble(tolerance);
    }
    line += ": " + std::to_string(differ) + " differ";
    if (failed > 0) {
        line += ", " + std::to_string(failed) + " could not be compared";
    }
    return line + "\n";
}

nlohmann::ordered_json FrameJson(const CFramePair& pair, const CFrameResult& result) {
    nlohmann::ordered_json out;
    out["frame"] = pair.frame ? nlohmann::ordered_json(*pair.frame) : nlohmann::ordered_json();
    out["presentA"] = result.presentA;
    out["presentB"] = result.presentB;
    const nlohmann::ordered_json diff = FileDiffJson(result.diff);
    for (const auto& item : diff.items()) {
        out[item.key()] = item.value();
    }
    out["equal"] = result.Equal();
    if (result.diff.failure.empty() && (!result.presentA || !result.presentB)) {
        out["problems"].push_back({{"kind", "missing-frame"}, {"text", OneSideText(pair, result)}});
    }
    return out;
}

CResult DiffUsage(const CDiffOptions& options) {
    const bool numberedA = options.a.find('#') != std::string::npos;
    const bool numberedB = options.b.find('#') != std::string::npos;
    if (numberedA != numberedB) {
        return CResult::Fail("give two files or two '#' patterns, not one of each");
    }
    if (!numberedA && (!options.sequence.frames.empty() || !options.sequence.shard.empty())) {
        return CResult::Fail("--frames and --shard need two '#' patterns");
    }
    return CResult::Ok();
}

int RunDiff(const CDiffOptions& options) {
    CSequenceChoice choice;
    if (CResult parsed = ParseSequenceOptions(options.sequence, choice); !parsed) {
        return UsageError("diff", parsed);
    }
    if (CResult usage = DiffUsage(options); !usage) {
        return UsageError("diff", usage);
    }
    const bool sequences = options.a.find('#') != std::string::npos;
    std::vector<CFramePair> pairs;
    if (!sequences) {
        pairs.push_back({std::nullopt, options.a, options.b});
    } else if (CResult paired = PairFrames(options, choice, pairs); !paired) {
        PrintError("diff", paired.Message());
        return ExitFailed;
    }
    std::vector<CFrameResult> results(pairs.size());
    {
        CProgress progress("diff", pairs.size(), sequences && choice.progress, StandardConsole());
        RunFrames(
            pairs.size(), choice.jobs,
            [&](size_t i, CFrameReport&) { results[i] = DiffFrame(pairs[i], options.tolerance); },
            StandardConsole(), &progress);
    }
    bool equal = true;
    std::string text;
    nlohmann::ordered_json frames = nlohmann::ordered_json::array();
    for (size_t i = 0; i < pairs.size(); ++i) {
        equal = equal && results[i].Equal();
        if (!results[i].diff.failure.empty()) {
            PrintError("diff", results[i].diff.failure);
        }
        if (options.json) {
            frames.push_back(FrameJson(pairs[i], results[i]));
        } else {
            text += FrameText(pairs[i], results[i], options.tolerance);
        }
    }
    COutput& out = StandardOutput();
    if (options.json) {
        nlohmann::ordered_json report;
        report["a"] = options.a;
        report["b"] = options.b;
        report["tolerance"] = options.tolerance;
        report["equal"] = equal;
        report["frames"] = std::move(frames);
        out.Write(ReportText(report) + "\n");
    } else {
        out.Write(text + (sequences ? SummaryLine(results, options.tolerance) : std::string()));
    }
    return equal ? ExitOk : ExitFailed;
}

}  // namespace

void AddDiffCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CDiffOptions>();
    CLI::App* command = app.add_subcommand(
        "diff",
        "Compare two PDC files, or two sequences frame by frame: particle counts, records "
        "present in one only, type codes, and per attribute and component how many values "
        "differ, by how much at most, and the first particle that differs.");
    command->add_option("a", options->a, "PDC file, or cache files with '#' for the frame number")
        ->required();
    command->add_option("b", options->b, "The same for the other side")->required();
    command
        ->add_option("--tolerance", options->tolerance,
                     "Largest absolute difference taken as equal (default 0: exact)")
        ->check(FiniteNonNegative());
    command->add_flag("--json", options->json,
                      "One JSON object: a, b, tolerance, equal, frames [{frame, presentA, "
                      "presentB, a, b, equal, error, particleCount, onlyInA, onlyInB, records "
                      "[{name, occurrence, code, count, compared, components [{differing, "
                      "withNaN, withInfinity, maxAbsolute, maxRelative, firstParticle, "
                      "first}]}], problems [{kind, text}]}]");
    AddSequenceOptions(*command, options->sequence);
    command->footer(
        "Two numbers are equal when |a - b| <= --tolerance; the tolerance is absolute and "
        "finite, and the relative difference |a - b| / max(|a|, |b|) is only reported. NaN "
        "equals NaN at the same place. NaN against a number or an infinity, an infinity "
        "against a finite number and infinities of other signs differ whatever the "
        "tolerance, and are counted apart (against NaN, against an infinity); the largest "
        "difference is taken over the pairs without NaN (Infinity when an infinity differs, "
        "relative 1, or 2 for infinities of other signs), and is NaN only when NaN stands "
        "against every value that differs. Records are matched by name; integer and double records "
        "are compared "
        "as numbers, and values are compared only where both records hold the same number "
        "of them. With two patterns, the frames of either (of --frames, or all files found) "
        "are compared, and a frame present on one side only is a difference. Exit status 0 "
        "when everything is equal, 1 when anything differs or a file cannot be read, 2 on "
        "bad usage. Memory holds one frame of A per job.\n"
        "The JSON is strict (RFC 8259), as jq and every JSON parser take it: a number that "
        "is not finite is the string \"NaN\", \"Infinity\" or \"-Infinity\". Each frame's "
        "problems have a stable kind: particle-count-differs, only-in-a, only-in-b, "
        "type-code-differs, values-not-compared, values-differ, missing-frame, or the kind "
        "'velpo info' gives a file that cannot be read (truncated, missing-file...).\n"
        "Example:\n"
        "  velpo diff run1/fluid.12.pdc run2/fluid.12.pdc --tolerance 1e-6\n"
        "  velpo diff 'run1/fluid.#.pdc' 'run2/fluid.#.pdc' --frames 1-48 --json");
    command->callback([options, &exitCode] { exitCode = RunDiff(*options); });
}

}  // namespace VelpoTools
