// velpo import: PDC cache files read back through VelpoImport and
// VelpoSetData into particle tables, one per frame.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "tools/Command.h"
#include "tools/FrameJob.h"
#include "tools/Tables.h"

namespace VelpoTools {

namespace {

const void* ValuesOf(const VelpoHost::CValues& values) {
    return std::visit([](const auto& run) { return static_cast<const void*>(run.data()); }, values);
}

size_t CountOf(const VelpoHost::CValues& values) {
    return std::visit([](const auto& run) { return run.size(); }, values);
}

int RunImport(const CFrameJobOptions& options) {
    CFrameJob job;
    if (!PrepareFrameJob("import", options, "--output", job)) {
        return ExitFailed;
    }
    const std::vector<CPortColumn> columns = ImportColumns(job.settings);
    std::vector<uint32_t> ports;
    for (const CPortColumn& column : columns) {
        ports.push_back(column.port);
    }
    bool failed = false;
    uint64_t particles = 0;
    int32_t frames = 0;
    for (int64_t frame = job.first; frame <= job.last; ++frame) {
        const int32_t f = static_cast<int32_t>(frame);
        const std::string cache = CacheFile(job.settings, f);
        CImportedFrame imported;
        std::string error;
        if (!job.session->Import(f, ports, options.threads, imported, error)) {
            PrintError("import", cache + ": " + error);
            job.session->ShowLog();
            failed = true;
            continue;
        }
        if (job.session->ShowLog() > 0) {
            failed = true;
            continue;
        }
        std::vector<COutputColumn> out;
        for (const CPortColumn& column : columns) {
            const auto values = imported.outputs.find(column.port);
            const bool complete =
                imported.count == 0 ||
                (values != imported.outputs.end() && CountOf(values->second) == imported.count);
            if (!complete) {
                PrintError("import",
                           cache + ": VelpoSetData gave no values for \"" + column.name + "\"");
                failed = true;
                out.clear();
                break;
            }
            out.push_back({column.name, column.dataType,
                           imported.count ? ValuesOf(values->second) : nullptr});
        }
        if (out.empty()) {
            continue;
        }
        const std::string file = FrameFile(options.pattern, f);
        if (!WriteTable(file, out, imported.count, error)) {
            PrintError("import", error);
            failed = true;
            continue;
        }
        std::printf("frame %d: %u particles from %s to %s\n", f, imported.count, cache.c_str(),
                    file.c_str());
        particles += imported.count;
        ++frames;
    }
    PrintFrameJobSummary("imported", job, frames, particles);
    return failed ? ExitFailed : ExitOk;
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
        "Each table has as many rows as VelpoImport reports and the columns id, position.x, "
        "position.y, position.z, then one per attribute the settings name (name.x, name.y, "
        "name.z for a Vector parameter). Floats are written with enough digits to read back "
        "exactly.\n"
        "Example:\n"
        "  velpo import --settings fluid.json --frames 1-48 --output out/pts.#.csv");
    command->callback([options, &exitCode] { exitCode = RunImport(*options); });
}

}  // namespace VelpoTools
