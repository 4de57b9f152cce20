// velpo export: particle tables, one per frame, through VelpoExport into the
// PDC cache that the settings name.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "host/runtime/Evaluation.h"
#include "host/sdk/Enums.h"
#include "tools/Command.h"
#include "tools/FrameJob.h"
#include "tools/Tables.h"

namespace VelpoTools {

namespace {

using VelpoHost::CInput;

class CFrameInputs {
public:
    CFrameInputs(const CTable& table, std::string& error) : table_(table), error_(error) {}

    std::vector<std::pair<uint32_t, CInput>> inputs;
    std::set<std::string> used;

    bool Bind(const CPortColumn& column) {
        switch (column.dataType) {
            case XSI::siICENodeDataLong:
                return Long(column.port, column.name, column.parameter);
            case XSI::siICENodeDataFloat:
                return Float(column.port, column.name, column.parameter);
            default:
                return Vector(column.port, column.name, column.parameter);
        }
    }

    bool Long(uint32_t port, const std::string& name, const std::string& parameter) {
        const CTableColumn* column = Column(name, parameter);
        std::vector<int32_t> values;
        if (!column || !table_.Longs(*column, values, error_)) {
            return false;
        }
        inputs.emplace_back(port, column->constant
                                      ? CInput::Constant(values.empty() ? 0 : values[0])
                                      : CInput::PerElement(std::move(values)));
        return true;
    }

    bool Float(uint32_t port, const std::string& name, const std::string& parameter) {
        const CTableColumn* column = Column(name, parameter);
        std::vector<float> values;
        if (!column || !table_.Floats(*column, values, error_)) {
            return false;
        }
        inputs.emplace_back(port, column->constant
                                      ? CInput::Constant(values.empty() ? 0.0f : values[0])
                                      : CInput::PerElement(std::move(values)));
        return true;
    }

    bool Vector(uint32_t port, const std::string& name, const std::string& parameter) {
        std::vector<float> components[3];
        bool constant = true;
        for (int c = 0; c < 3; ++c) {
            const CTableColumn* column = Column(name + "." + "xyz"[c], parameter);
            if (!column || !table_.Floats(*column, components[c], error_)) {
                return false;
            }
            constant = constant && column->constant;
        }
        std::vector<XSI::MATH::CVector3f> values(table_.rows);
        for (size_t row = 0; row < table_.rows; ++row) {
            values[row].Set(components[0][row], components[1][row], components[2][row]);
        }
        inputs.emplace_back(
            port, constant ? CInput::Constant(values.empty() ? XSI::MATH::CVector3f() : values[0])
                           : CInput::PerElement(std::move(values)));
        return true;
    }

private:
    const CTableColumn* Column(const std::string& name, const std::string& parameter) {
        const CTableColumn* column = table_.Find(name);
        if (!column) {
            error_ = table_.file + ": line 1: no column \"" + name + "\"" +
                     (parameter.empty() ? "" : " for the parameter \"" + parameter + "\"");
            return nullptr;
        }
        used.insert(name);
        return column;
    }

    const CTable& table_;
    std::string& error_;
};

int RunExport(const CFrameJobOptions& options) {
    CFrameJob job;
    if (!PrepareFrameJob("export", options, "--input", job)) {
        return ExitFailed;
    }
    const CSettings& settings = job.settings;
    const std::vector<CPortColumn> columns = ExportColumns(settings);
    bool failed = false;
    std::set<std::string> warned;
    uint64_t particles = 0;
    int32_t frames = 0;
    for (int64_t frame = job.first; frame <= job.last; ++frame) {
        const int32_t f = static_cast<int32_t>(frame);
        const std::string file = FrameFile(options.pattern, f);
        CTable table;
        std::string error;
        if (!ReadTable(file, table, error)) {
            PrintError("export", error);
            failed = true;
            continue;
        }
        CFrameInputs inputs(table, error);
        bool bound = true;
        for (const CPortColumn& column : columns) {
            bound = bound && inputs.Bind(column);
        }
        if (!bound) {
            PrintError("export", error);
            failed = true;
            continue;
        }
        for (const CTableColumn& column : table.columns) {
            if (!inputs.used.count(column.name) && warned.insert(column.name).second) {
                PrintWarning("export", file + ": column \"" + column.name +
                                           "\" is named by no parameter of the settings and is "
                                           "not exported");
            }
        }
        if (!job.session->Export(f, static_cast<uint32_t>(table.rows), std::move(inputs.inputs),
                                 options.threads, error)) {
            PrintError("export", error);
            failed = true;
            continue;
        }
        if (job.session->ShowLog() > 0) {
            failed = true;
            continue;
        }
        std::printf("frame %d: %zu particles from %s to %s\n", f, table.rows, file.c_str(),
                    CacheFile(settings, f).c_str());
        particles += table.rows;
        ++frames;
    }
    PrintFrameJobSummary("exported", job, frames, particles);
    return failed ? ExitFailed : ExitOk;
}

}  // namespace

void AddExportCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CFrameJobOptions>();
    CLI::App* command = app.add_subcommand(
        "export",
        "Write particle tables through the VelpoExport node into PDC cache files, one "
        "per frame.");
    AddFrameJobOptions(*command, *options, "--input",
                       "Table per frame, CSV or JSON, '#' standing for the frame number");
    command->footer(
        "Every table needs the columns id, position.x, position.y, position.z and one column "
        "per attribute that the settings name (three, name.x name.y name.z, for a Vector "
        "parameter). The cache files are named from \"Path\" and \"Step\" as the nodes name "
        "them: Path/stem.<frame*step>.pdc.\n"
        "Example:\n"
        "  velpo export --settings fluid.json --frames 1-48 --input tables/pts.#.csv\n"
        "  with fluid.json: {\"Path\": \"cache/fluid\", \"Step\": 1, \"Float0\": \"age\"}");
    command->callback([options, &exitCode] { exitCode = RunExport(*options); });
}

}  // namespace VelpoTools
