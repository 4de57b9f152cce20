// velpo export: particle tables, one per frame, through VelpoExport into the
// PDC cache that the settings name.
#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "host/runtime/Evaluation.h"
#include "pdc/Pdc.h"
#include "pdc/SafeWrite.h"
#include "tools/cli/Command.h"
#include "tools/cli/FrameJob.h"
#include "tools/common/CacheNames.h"
#include "tools/common/Text.h"
#include "tools/tables/Tables.h"

namespace VelpoTools {

namespace {

using Velpo::CResult;
using VelpoHost::CInput;

// The node's inputs from one table: a column given once for every particle
// goes in as a constant input, so the node writes it as a single value, as
// the host would, and nothing is copied per particle.
class CFrameInputs {
public:
    explicit CFrameInputs(const CTable& table) : table_(table) {}

    std::vector<std::pair<uint32_t, CInput>> inputs;
    std::set<std::string> used;

    CResult Bind(const CNamedAttribute& attribute) {
        switch (attribute.slotType) {
            case PdcTypeLong:
                return Scalar<int32_t>(attribute);
            case PdcTypeFloat:
                return Scalar<float>(attribute);
            default:
                return Vector(attribute);
        }
    }

private:
    template <class T>
    CResult Scalar(const CNamedAttribute& attribute) {
        const CTableColumn* column = nullptr;
        std::vector<T> values;
        CResult found = Column(attribute.name, attribute, column);
        if (found) {
            found = table_.Values(*column, values);
        }
        if (!found) {
            return found;
        }
        inputs.emplace_back(attribute.inputPort, column->constant
                                                     ? CInput::Constant(values[0])
                                                     : CInput::PerElement(std::move(values)));
        return CResult::Ok();
    }

    CResult Vector(const CNamedAttribute& attribute) {
        std::vector<float> components[3];
        bool constant = true;
        for (int c = 0; c < 3; ++c) {
            const CTableColumn* column = nullptr;
            CResult found = Column(attribute.name + "." + "xyz"[c], attribute, column);
            if (found) {
                found = table_.Values(*column, components[c]);
            }
            if (!found) {
                return found;
            }
            constant = constant && column->constant;
        }
        if (constant) {
            inputs.emplace_back(attribute.inputPort,
                                CInput::Constant(XSI::MATH::CVector3f(
                                    components[0][0], components[1][0], components[2][0])));
            return CResult::Ok();
        }
        // A constant component beside per-particle ones holds for every row.
        std::vector<XSI::MATH::CVector3f> values(table_.rows);
        for (size_t row = 0; row < table_.rows; ++row) {
            const auto at = [&](int c) {
                return components[c][components[c].size() == 1 ? 0 : row];
            };
            values[row].Set(at(0), at(1), at(2));
        }
        inputs.emplace_back(attribute.inputPort, CInput::PerElement(std::move(values)));
        return CResult::Ok();
    }

    CResult Column(const std::string& name, const CNamedAttribute& attribute,
                   const CTableColumn*& column) {
        column = table_.Find(name);
        if (!column) {
            return CResult::Fail(TablePlace(table_.file, 1) + ": no column " + Quoted(name) +
                                 (attribute.parameter.empty()
                                      ? std::string()
                                      : " for the parameter \"" + attribute.parameter + "\""));
        }
        used.insert(name);
        return CResult::Ok();
    }

    const CTable& table_;
};

// Every frame's cache file is named before any is written: settings that
// send two frames to one file, or a cache onto a table or the settings that
// the job reads, are refused whole.
int CheckSettingsNames(const CFrameJob& job, const CFrameJobOptions& options) {
    if (const CResult distinct = CheckDistinctCacheFiles(job.settings, job.first, job.last);
        !distinct) {
        return UsageError("export", CResult::Fail(job.settings.file + ": " + distinct.Message()));
    }
    const CResult apart = CheckJobOutputs(
        options, job, [&](int32_t frame) { return FrameFile(options.pattern, frame); },
        [&](int32_t frame) { return CacheFile(job.settings, frame); }, false);
    if (!apart) {
        return UsageError("export", apart);
    }
    if (const std::string warning = FolderCutWarning(job.settings, job.first); !warning.empty()) {
        PrintWarning("export", warning);
    }
    return ExitOk;
}

std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

// The folders of the caches are made before the frames run, each said once:
// the node writes its file into a folder that must be there.
CResult MakeCacheFolders(const CFrameJob& job) {
    std::set<std::filesystem::path> folders;
    for (const int32_t frame : job.frames) {
        folders.insert(PathOf(CacheFile(job.settings, frame)).parent_path());
    }
    for (const std::filesystem::path& folder : folders) {
        std::error_code error;
        if (folder.empty() || std::filesystem::is_directory(folder, error)) {
            continue;
        }
        if (!std::filesystem::create_directories(folder, error) || error) {
            const std::u8string name = folder.u8string();
            return CResult::Fail(std::string(name.begin(), name.end()) +
                                 ": the folder for the caches cannot be made: " +
                                 (error ? error.message() : "it is not a folder"));
        }
        const std::u8string name = folder.u8string();
        std::fputs(("velpo export: note: made the folder " +
                    Escaped(std::string(name.begin(), name.end())) + " for the caches\n")
                       .c_str(),
                   stderr);
    }
    return CResult::Ok();
}

// The size of the frame's cache as the node writes it: the header, and per
// record its name, with the name's and the type's words, and a double or a
// vector of doubles per particle, for "id", "position" and each attribute.
uint64_t CacheBytes(uint64_t particles, const std::vector<CNamedAttribute>& attributes) {
    constexpr uint64_t HeaderBytes = 28;
    constexpr uint64_t RecordWords = 8;
    uint64_t bytes =
        HeaderBytes + (RecordWords + 2 + particles * 8) + (RecordWords + 8 + particles * 24);
    for (const CNamedAttribute& attribute : attributes) {
        bytes += RecordWords + attribute.name.size() +
                 particles * (attribute.slotType == PdcTypeVector ? 24 : 8);
    }
    return bytes;
}

class CExporter {
public:
    CExporter(CFrameJob& job, const CFrameJobOptions& options) : job_(job), options_(options) {}

    CResult Frame(int32_t frame, uint64_t& particles, CFrameReport& report) {
        const std::string file = FrameFile(options_.pattern, frame);
        CTable table;
        if (CResult read = ReadTable(file, table); !read) {
            return read;
        }
        // Inputs are sized by the row count: the runtime's limit is checked
        // first, so a forged "particleCount" sizes nothing.
        const uint32_t maxElements = VelpoHost::CEvaluateOptions().maxElements;
        if (table.rows > maxElements) {
            return CResult::Fail(fmt::format(
                "{}: \"particleCount\" {} is more than the {} elements the host runtime evaluates",
                file, table.rows, maxElements));
        }
        CFrameInputs inputs(table);
        for (const CNamedAttribute& attribute : NamedAttributes(job_.settings)) {
            if (CResult bound = inputs.Bind(attribute); !bound) {
                return bound;
            }
        }
        NoteUnusedColumns(frame, file, table, inputs.used);
        const std::string cache = CacheFile(job_.settings, frame);
        const CResult ran = job_.session->Export(frame, static_cast<uint32_t>(table.rows),
                                                 std::move(inputs.inputs), options_.threads);
        const CResult logged = FrameLog(report);
        if (!ran || !logged) {
            return CResult::Fail(cache + ": " + (!ran ? ran : logged).Message() +
                                 WhyNotWritten(cache, table.rows));
        }
        if (std::string why; options_.sync && !FlushFileToDisk(cache, why)) {
            return CResult::Fail(cache + ": cannot be flushed to the disk: " + why);
        }
        report.out += FrameDoneLine(frame, table.rows, file, cache);
        particles = table.rows;
        return CResult::Ok();
    }

    // Told once per column after the frames, naming the first table that
    // has it: noted as frames run, in whatever order the jobs take them, so
    // the output does not depend on how many jobs there are.
    void WarnUnusedColumns() const {
        std::vector<std::pair<std::pair<int32_t, std::string>, std::string>> warnings;
        for (const auto& [column, first] : unused_) {
            warnings.push_back({first, column});
        }
        std::sort(warnings.begin(), warnings.end());
        for (const auto& [first, column] : warnings) {
            PrintWarning("export", first.second + ": column " + Quoted(column) +
                                       " is named by no parameter of the settings and is not "
                                       "exported");
        }
    }

private:
    // The node says only that it cannot write the cache; what stops it, as
    // far as it can be found without writing, follows its message.
    std::string WhyNotWritten(const std::string& cache, uint64_t particles) const {
        std::string why;
        if (ProbeSafeWrite(cache, CacheBytes(particles, NamedAttributes(job_.settings)), why)) {
            return std::string();
        }
        return "; the file cannot be written: " + why;
    }

    void NoteUnusedColumns(int32_t frame, const std::string& file, const CTable& table,
                           const std::set<std::string>& used) {
        std::lock_guard lock(unusedMutex_);
        for (const CTableColumn& column : table.columns) {
            if (used.count(column.name)) {
                continue;
            }
            auto [first, added] = unused_.try_emplace(column.name, frame, file);
            if (!added && frame < first->second.first) {
                first->second = {frame, file};
            }
        }
    }

    CFrameJob& job_;
    const CFrameJobOptions& options_;
    std::mutex unusedMutex_;
    std::map<std::string, std::pair<int32_t, std::string>> unused_;  // column: first frame, file
};

int RunExport(const CFrameJobOptions& options) {
    CFrameJob job;
    if (const CResult usage = CheckFrameJobUsage(options, "--input", job); !usage) {
        return UsageError("export", usage);
    }
    if (const CResult read = ReadJobSettings("export", options, job); !read) {
        PrintError("export", read.Message());
        return ExitFailed;
    }
    if (const int named = CheckSettingsNames(job, options); named != ExitOk) {
        return named;
    }
    CResult prepared = MakeCacheFolders(job);
    if (prepared) {
        prepared = OpenJobSession(options, job);
    }
    if (const CResult opened = prepared; !opened) {
        PrintError("export", opened.Message());
        return ExitFailed;
    }
    CExporter exporter(job, options);
    const int exitCode =
        RunFrameJob("export", "exported", job,
                    [&exporter](int32_t frame, uint64_t& particles, CFrameReport& report) {
                        return exporter.Frame(frame, particles, report);
                    });
    exporter.WarnUnusedColumns();
    return exitCode;
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
        "per attribute that the settings name (three, name.x name.y name.z for a Vector "
        "parameter). A JSON attribute given as one value is one value for every particle and "
        "is written as a single-value record. Numbers take NaN, Infinity and -Infinity as "
        "dump and import write them (and Python's json module). The cache files are named "
        "from \"Path\" and \"Step\" as the nodes name them: Path/stem.<frame*step>.pdc; "
        "settings that send two frames of the range to one file are refused (exit status "
        "2) before anything is written.\n"
        "Example:\n"
        "  velpo export --settings fluid.json --frames 1-48 --input tables/pts.#.csv\n"
        "  with fluid.json: {\"Path\": \"cache/fluid\", \"Step\": 1, \"Float0\": \"age\"}\n"
        "  velpo export --settings fluid.json --frames 1-480 --input tables/pts.#.csv "
        "--shard 2/4\n"
        "                                 the third of four farm machines: frames 3, 7, 11, ...");
    command->callback([options, &exitCode] { exitCode = RunExport(*options); });
}

}  // namespace VelpoTools
