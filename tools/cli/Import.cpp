// velpo import: PDC cache files read back through VelpoImport and
// VelpoSetData into particle tables, one per frame.
#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstddef>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "host/runtime/Evaluation.h"
#include "pdc/Pdc.h"
#include "plugin/AttributeKinds.h"
#include "tools/cli/Command.h"
#include "tools/cli/FrameJob.h"
#include "tools/common/CacheNames.h"
#include "tools/common/OutputFile.h"
#include "tools/common/Text.h"
#include "tools/session/CacheCheck.h"
#include "tools/tables/TableWriter.h"

namespace VelpoTools {

namespace {

using Velpo::CResult;

struct CImportOptions {
    CFrameJobOptions job;
    bool strict = false;
};

// The records that the settings name and the caches lack, gathered from
// the frames as they run (several at once) and told once for the job: the
// nodes read such caches and deliver zeros, so the tables hold zeros too.
class CMissingRecords {
public:
    // `unfilled` of the frame's cache, out of `attributes`, the settings'.
    void Add(int32_t frame, const std::string& cache,
             const std::vector<CNamedAttribute>& attributes,
             const std::vector<CNamedAttribute>& unfilled) {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (const CNamedAttribute& attribute : unfilled) {
            auto found = std::find_if(missing_.begin(), missing_.end(), [&](const CMissing& m) {
                return m.attribute.slot == attribute.slot;
            });
            if (found == missing_.end()) {
                const auto rank = std::find_if(
                    attributes.begin(), attributes.end(),
                    [&](const CNamedAttribute& named) { return named.slot == attribute.slot; });
                missing_.push_back({attribute, rank - attributes.begin(), frame, cache, 0});
                found = missing_.end() - 1;
            } else if (frame < found->firstFrame) {
                found->firstFrame = frame;
                found->firstCache = cache;
            }
            ++found->frames;
        }
    }

    bool Empty() const { return missing_.empty(); }

    // One text for all of them, in the settings' order ("id" and
    // "position" first), whatever order the frames ran in.
    std::string Warning(size_t frames) {
        std::sort(missing_.begin(), missing_.end(),
                  [](const CMissing& a, const CMissing& b) { return a.rank < b.rank; });
        std::string text =
            "caches lack records that the settings name; the nodes deliver zeros for them, and "
            "so do the tables:";
        for (size_t i = 0; i < missing_.size(); ++i) {
            const CMissing& m = missing_[i];
            text += fmt::format(
                "{}no {} record {} for {} in {} of {} frames, the first frame {} "
                "({})",
                i == 0 ? " " : "; ", FindKindOfSlotType(m.attribute.slotType)->TypeName(),
                Quoted(m.attribute.name), m.attribute.Owner(), m.frames, frames, m.firstFrame,
                m.firstCache);
        }
        return text;
    }

private:
    struct CMissing {
        CNamedAttribute attribute;
        std::ptrdiff_t rank = 0;  // in NamedAttributes
        int32_t firstFrame = 0;
        std::string firstCache;
        size_t frames = 0;
    };

    std::mutex mutex_;
    std::vector<CMissing> missing_;
};

const void* ValuesOf(const VelpoHost::CValues& values) {
    return std::visit([](const auto& run) { return static_cast<const void*>(run.data()); }, values);
}

size_t CountOf(const VelpoHost::CValues& values) {
    return std::visit([](const auto& run) { return run.size(); }, values);
}

// Rows whose values VelpoSetData's outputs hold at once when the table is
// written as they come (CSV): a few MB whatever the frame, so that the
// frame's memory is the node's own record of it.
constexpr uint32_t WindowElements = 1u << 16;

// The table's columns over what VelpoSetData gave for `count` rows, one per
// attribute. `acquired`, when given, names the ports a call wrote; without
// it `outputs` holds only those.
CResult TableColumns(const std::string& cache, const std::vector<CNamedAttribute>& attributes,
                     const std::map<uint32_t, VelpoHost::CValues>& outputs,
                     const std::set<uint32_t>* acquired, uint32_t count,
                     std::vector<CTableOutputColumn>& columns) {
    for (const CNamedAttribute& attribute : attributes) {
        const auto values = outputs.find(attribute.outputPort);
        const bool written = !acquired || acquired->count(attribute.outputPort) != 0;
        const bool complete =
            count == 0 || (written && values != outputs.end() && CountOf(values->second) == count);
        if (!complete) {
            return CResult::Fail(cache + ": VelpoSetData gave no values for \"" + attribute.name +
                                 "\"");
        }
        const bool vector = attribute.slotType == PdcTypeVector;
        columns.push_back(
            {attribute.name,
             attribute.slotType == PdcTypeLong ? CNumberKind::Int32 : CNumberKind::Float,
             vector ? 3 : 1, false, count ? ValuesOf(values->second) : nullptr});
    }
    return CResult::Ok();
}

// What failed in the nodes, for a cache that passed the check before they
// read it: then the file was sound, and memory the likely cause.
CResult NodesFailed(const std::string& cache, int32_t frame, uint32_t count, const CResult& ran,
                    const CResult& logged) {
    std::string text = cache + ": " + (!ran ? ran : logged).Message();
    if (ran && count > 0) {
        text += ", though the file passed the check: most likely out of memory for its " +
                std::to_string(count) + " particles";
    }
    return CResult::Fail(fmt::format("{}; no table written for frame {}", text, frame));
}

struct CFrameImport {
    int32_t frame = 0;
    std::string cache;
    std::vector<CNamedAttribute> attributes;
    std::vector<uint32_t> ports;
    uint32_t count = 0;  // what VelpoImport reported
};

// The whole frame's outputs at once, then the table: for JSON, whose
// columns follow one another.
CResult ImportWhole(CFrameJob& job, const CFrameJobOptions& options, CFrameImport& frame,
                    const std::string& file, CFrameReport& report) {
    CImportedFrame imported;
    const CResult ran = job.session->Import(frame.frame, frame.ports, options.threads, imported);
    frame.count = imported.count;
    const CResult logged = FrameLog(report);
    if (!ran || !logged) {
        return NodesFailed(frame.cache, frame.frame, frame.count, ran, logged);
    }
    std::vector<CTableOutputColumn> columns;
    if (CResult complete = TableColumns(frame.cache, frame.attributes, imported.outputs, nullptr,
                                        imported.count, columns);
        !complete) {
        return complete;
    }
    return WriteFileReplacing(
        file, [&](COutput& out) { WriteTable(out, TableFormatOf(file), columns, imported.count); });
}

// Rows written as VelpoSetData gives them, a window at a time: for CSV.
CResult ImportInWindows(CFrameJob& job, const CFrameJobOptions& options, CFrameImport& frame,
                        const std::string& file, CFrameReport& report) {
    return WriteFileReplacingChecked(file, [&](COutput& out) {
        CResult complete = CResult::Ok();
        bool started = false;
        auto receive = [&](const VelpoHost::COutputWindow& window) {
            std::vector<CTableOutputColumn> columns;
            complete = TableColumns(frame.cache, frame.attributes, window.outputs,
                                    &window.acquiredOutputs, window.count, columns);
            if (!complete) {
                return false;
            }
            if (!started) {
                WriteCsvHeader(out, columns);
                started = true;
            }
            WriteCsvRows(out, columns, window.count);
            return out.Ok();
        };
        const CResult ran = job.session->ImportWindows(frame.frame, frame.ports, options.threads,
                                                       WindowElements, receive, frame.count);
        const CResult logged = FrameLog(report);
        if (!out.Ok()) {
            return CResult::Ok();  // the output's own failure tells why
        }
        // What the nodes logged comes first: a node that could not read its
        // file also gives no values. A window without all its values stops
        // the evaluation, which is then not the nodes' failure.
        if (!logged) {
            return NodesFailed(frame.cache, frame.frame, frame.count, CResult::Ok(), logged);
        }
        if (!complete) {
            return complete;
        }
        if (!ran) {
            return NodesFailed(frame.cache, frame.frame, frame.count, ran, logged);
        }
        if (!started) {
            std::vector<CTableOutputColumn> columns;
            (void)TableColumns(frame.cache, frame.attributes, {}, nullptr, 0, columns);
            WriteCsvHeader(out, columns);
        }
        return CResult::Ok();
    });
}

// One frame: the cache checked, read through the nodes and written as a
// table, which replaces an earlier one only when it is complete.
CResult ImportFrame(CFrameJob& job, const CFrameJobOptions& options, int32_t frameNumber,
                    uint64_t& particles, CFrameReport& report, CMissingRecords& missing) {
    CFrameImport frame;
    frame.frame = frameNumber;
    frame.attributes = NamedAttributes(job.settings);
    frame.cache = CacheFile(job.settings, frameNumber);
    const uint32_t maxElements = VelpoHost::CEvaluateOptions().maxElements;
    std::vector<CNamedAttribute> unfilled;
    if (CResult checked = CheckCacheFile(frame.cache, frame.attributes, maxElements, unfilled);
        !checked) {
        return CResult::Fail(checked.Message() + "; no table written for frame " +
                             std::to_string(frameNumber));
    }
    missing.Add(frameNumber, frame.cache, frame.attributes, unfilled);
    for (const CNamedAttribute& attribute : frame.attributes) {
        frame.ports.push_back(attribute.outputPort);
    }
    const std::string file = FrameFile(options.pattern, frameNumber);
    CResult imported = CResult::Ok();
    try {
        imported = TableFormatOf(file) == CTableFormat::Csv
                       ? ImportInWindows(job, options, frame, file, report)
                       : ImportWhole(job, options, frame, file, report);
    } catch (const std::bad_alloc&) {
        imported = CResult::Fail(
            fmt::format("{}: out of memory for frame {} ({} particles); no table written for it",
                        frame.cache, frameNumber, frame.count));
    }
    if (!imported) {
        return imported;
    }
    report.out += FrameDoneLine(frameNumber, frame.count, frame.cache, file);
    particles = frame.count;
    return CResult::Ok();
}

int RunImport(const CImportOptions& importOptions) {
    const CFrameJobOptions& options = importOptions.job;
    CFrameJob job;
    if (const CResult usage = CheckFrameJobUsage(options, "--output", job); !usage) {
        return UsageError("import", usage);
    }
    CResult prepared = ReadJobSettings("import", options, job);
    if (!prepared) {
        PrintError("import", prepared.Message());
        return ExitFailed;
    }
    // A table onto a cache, the settings or another frame's table.
    if (CResult apart = CheckJobOutputs(
            options, job, [&](int32_t frame) { return CacheFile(job.settings, frame); },
            [&](int32_t frame) { return FrameFile(options.pattern, frame); }, true);
        !apart) {
        return UsageError("import", apart);
    }
    if (prepared = OpenJobSession(options, job); !prepared) {
        PrintError("import", prepared.Message());
        return ExitFailed;
    }
    CMissingRecords missing;
    const int exitCode = RunFrameJob(
        "import", "imported", job, [&](int32_t frame, uint64_t& particles, CFrameReport& report) {
            return ImportFrame(job, options, frame, particles, report, missing);
        });
    if (missing.Empty()) {
        return exitCode;
    }
    PrintWarning("import", missing.Warning(job.frames.size()) +
                               (importOptions.strict ? " (--strict: this fails the job)" : ""));
    return importOptions.strict ? ExitFailed : exitCode;
}

}  // namespace

void AddImportCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CImportOptions>();
    CLI::App* command = app.add_subcommand(
        "import",
        "Read PDC cache files back through the VelpoImport and VelpoSetData nodes into "
        "particle tables, one per frame.");
    AddFrameJobOptions(*command, options->job, "--output",
                       "Table per frame to write, CSV or JSON, '#' standing for the frame number");
    command->add_flag("--strict", options->strict,
                      "Caches that lack a record the settings name fail the job (exit status 1)");
    command->footer(
        std::string(
            "Each cache is checked before the nodes read it: a missing, truncated or forged "
            "file fails the frame (exit status 1) and writes no table for it; an earlier table "
            "there is kept. A readable cache without a record that the settings name (\"id\" "
            "included) is read as the nodes read it, with zeros for that record, and one "
            "warning at the end names each record missing and the first frame that lacks it "
            "(exit status 0, 1 with --strict). Each table has as many rows as VelpoImport "
            "reports and the columns id, position.x, position.y, position.z, then one per "
            "attribute the settings name (name.x, name.y, name.z for a Vector parameter). A "
            "table is written beside its name and moved over it when complete. Floats are "
            "the nodes' 32-bit floats, written with the fewest digits that read back to the "
            "same float (0.1, where the float is 0.100000001490116 as a double). ") +
        TableNumbersHelp +
        "\n"
        "Example:\n"
        "  velpo import --settings fluid.json --frames 1-48 --output out/pts.#.csv\n"
        "  velpo import --settings fluid.json --frames 1-48 --output out/pts.#.csv --jobs 4 "
        "--quiet");
    command->callback([options, &exitCode] { exitCode = RunImport(*options); });
}

}  // namespace VelpoTools
