// velpo import: PDC cache files read back through VelpoImport and
// VelpoSetData into particle tables, one per frame.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstddef>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "host/runtime/Evaluation.h"
#include "pdc/Pdc.h"
#include "plugin/AttributeKinds.h"
#include "tools/CacheCheck.h"
#include "tools/CacheNames.h"
#include "tools/Command.h"
#include "tools/FrameJob.h"
#include "tools/OutputFile.h"
#include "tools/Text.h"
#include "tools/tables/TableWriter.h"

namespace VelpoTools {

namespace {

using VelpoHost::CResult;

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
            text += std::string(i == 0 ? " " : "; ") + "no " +
                    FindKindOfSlotType(m.attribute.slotType)->TypeName() + " record " +
                    Quoted(m.attribute.name) + " for " + m.attribute.Owner() + " in " +
                    std::to_string(m.frames) + " of " + std::to_string(frames) +
                    " frames, the first frame " + std::to_string(m.firstFrame) + " (" +
                    m.firstCache + ")";
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

// The table's columns over what VelpoSetData gave, one per attribute.
CResult TableColumns(const std::string& cache, const std::vector<CNamedAttribute>& attributes,
                     const CImportedFrame& imported, std::vector<CTableOutputColumn>& columns) {
    for (const CNamedAttribute& attribute : attributes) {
        const auto values = imported.outputs.find(attribute.outputPort);
        const bool complete = imported.count == 0 || (values != imported.outputs.end() &&
                                                      CountOf(values->second) == imported.count);
        if (!complete) {
            return CResult::Fail(cache + ": VelpoSetData gave no values for \"" + attribute.name +
                                 "\"");
        }
        const bool vector = attribute.slotType == PdcTypeVector;
        columns.push_back(
            {attribute.name,
             attribute.slotType == PdcTypeLong ? CNumberKind::Int32 : CNumberKind::Float,
             vector ? 3 : 1, false, imported.count ? ValuesOf(values->second) : nullptr});
    }
    return CResult::Ok();
}

// One frame: the cache checked, read through the nodes and written as a
// table, which replaces an earlier one only when it is complete.
CResult ImportFrame(CFrameJob& job, const CFrameJobOptions& options, int32_t frame,
                    uint64_t& particles, CFrameReport& report, CMissingRecords& missing) {
    const std::vector<CNamedAttribute> attributes = NamedAttributes(job.settings);
    const std::string cache = CacheFile(job.settings, frame);
    const uint32_t maxElements = VelpoHost::CEvaluateOptions().maxElements;
    std::vector<CNamedAttribute> unfilled;
    if (CResult checked = CheckCacheFile(cache, attributes, maxElements, unfilled); !checked) {
        return CResult::Fail(checked.Message() + "; no table written for frame " +
                             std::to_string(frame));
    }
    missing.Add(frame, cache, attributes, unfilled);
    std::vector<uint32_t> ports;
    for (const CNamedAttribute& attribute : attributes) {
        ports.push_back(attribute.outputPort);
    }
    CImportedFrame imported;
    const CResult ran = job.session->Import(frame, ports, options.threads, imported);
    const CResult logged = FrameLog(report);
    if (!ran || !logged) {
        return CResult::Fail(cache + ": " + (!ran ? ran : logged).Message() +
                             "; no table written for frame " + std::to_string(frame));
    }
    std::vector<CTableOutputColumn> columns;
    if (CResult complete = TableColumns(cache, attributes, imported, columns); !complete) {
        return complete;
    }
    const std::string file = FrameFile(options.pattern, frame);
    if (CResult written = WriteFileReplacing(
            file,
            [&](COutput& out) { WriteTable(out, TableFormatOf(file), columns, imported.count); });
        !written) {
        return written;
    }
    report.out += FrameDoneLine(frame, imported.count, cache, file);
    particles = imported.count;
    return CResult::Ok();
}

int RunImport(const CImportOptions& importOptions) {
    const CFrameJobOptions& options = importOptions.job;
    CFrameJob job;
    if (const CResult usage = CheckFrameJobUsage(options, "--output", job); !usage) {
        return UsageError("import", usage);
    }
    CResult prepared = ReadJobSettings("import", options, job);
    if (prepared) {
        prepared = OpenJobSession(options, job);
    }
    if (!prepared) {
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
