// velpo import: PDC cache files read back through VelpoImport and
// VelpoSetData into particle tables, one per frame.
#include <CLI/CLI.hpp>
#include <string>
#include <variant>
#include <vector>

#include "host/runtime/Evaluation.h"
#include "pdc/Pdc.h"
#include "tools/CacheCheck.h"
#include "tools/CacheNames.h"
#include "tools/Command.h"
#include "tools/FrameJob.h"
#include "tools/OutputFile.h"
#include "tools/tables/TableWriter.h"

namespace VelpoTools {

namespace {

using VelpoHost::CResult;

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
                    uint64_t& particles, CFrameReport& report) {
    const std::vector<CNamedAttribute> attributes = NamedAttributes(job.settings);
    const std::string cache = CacheFile(job.settings, frame);
    const uint32_t maxElements = VelpoHost::CEvaluateOptions().maxElements;
    if (CResult checked = CheckCacheFile(cache, attributes, maxElements); !checked) {
        return CResult::Fail(checked.Message() + "; no table written for frame " +
                             std::to_string(frame));
    }
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

int RunImport(const CFrameJobOptions& options) {
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
    return RunFrameJob("import", "imported", job,
                       [&](int32_t frame, uint64_t& particles, CFrameReport& report) {
                           return ImportFrame(job, options, frame, particles, report);
                       });
}

}  // namespace

void AddImportCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CFrameJobOptions>();
    CLI::App* command = app.add_subcommand(
        "import",
        "Read PDC cache files back through the VelpoImport and VelpoSetData nodes into "
        "particle tables, one per frame.");
    AddFrameJobOptions(*command, *options, "--output",
                       "Table per frame to write, CSV or JSON, '#' standing for the frame number");
    command->footer(
        "Each cache is checked before the nodes read it: a missing, truncated or forged "
        "file, or one without a record that the settings name, fails the frame (exit status "
        "1) and writes no table for it; an earlier table there is kept. Each table has as "
        "many rows as VelpoImport reports and the columns id, position.x, position.y, "
        "position.z, then one per attribute the settings name (name.x, name.y, name.z for a "
        "Vector parameter). A table is written beside its name and moved over it when "
        "complete. Floats are written with enough digits to read back exactly; NaN and "
        "infinities as NaN, Infinity and -Infinity, which 'velpo export' and Python's json "
        "module read back.\n"
        "Example:\n"
        "  velpo import --settings fluid.json --frames 1-48 --output out/pts.#.csv\n"
        "  velpo import --settings fluid.json --frames 1-48 --output out/pts.#.csv --jobs 4 "
        "--quiet");
    command->callback([options, &exitCode] { exitCode = RunImport(*options); });
}

}  // namespace VelpoTools
