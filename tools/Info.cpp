// velpo info: the header and records of PDC files, with statistics and every
// problem a reader would trip over.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/Command.h"
#include "tools/Numbers.h"
#include "tools/PdcScan.h"

namespace VelpoTools {

namespace {

struct CInfoOptions {
    std::vector<std::string> files;
    bool json = false;
};

nlohmann::ordered_json StatsJson(const CPdcScanRecord& record, int which) {
    nlohmann::ordered_json values = nlohmann::ordered_json::array();
    for (int32_t c = 0; c < record.Components(); ++c) {
        const CComponentStats& stats = record.stats[static_cast<size_t>(c)];
        if (stats.finite == 0) {
            values.push_back(nullptr);
        } else {
            values.push_back(which == 0 ? stats.min : which == 1 ? stats.max : stats.Mean());
        }
    }
    return values;
}

nlohmann::ordered_json ScanJson(const std::string& file, const CPdcScan* scan,
                                const std::string& openError) {
    nlohmann::ordered_json out;
    out["file"] = file;
    out["header"] = nullptr;
    out["records"] = nlohmann::ordered_json::array();
    out["problems"] = nlohmann::ordered_json::array();
    if (!scan) {
        out["problems"].push_back(openError);
        return out;
    }
    if (scan->header) {
        const CPdcScanHeader& header = *scan->header;
        out["header"] = {{"format", header.format},
                         {"version", header.version},
                         {"byteOrder", header.byteOrder},
                         {"particleCount", header.particleCount},
                         {"attributeCount", header.attributeCount}};
    }
    for (const CPdcScanRecord& record : scan->records) {
        out["records"].push_back({{"name", record.name},
                                  {"code", record.code},
                                  {"array", record.IsArray()},
                                  {"count", record.count},
                                  {"offset", record.offset},
                                  {"min", StatsJson(record, 0)},
                                  {"max", StatsJson(record, 1)},
                                  {"mean", StatsJson(record, 2)}});
    }
    for (const CPdcProblem& problem : scan->problems) {
        out["problems"].push_back(problem.text);
    }
    return out;
}

std::string Statistic(const CComponentStats& stats, double value) {
    return stats.finite ? FormatDouble(value) : std::string("-");
}

void PrintText(const std::string& file, const CPdcScan& scan) {
    std::printf("%s: %ju bytes\n", file.c_str(), static_cast<uintmax_t>(scan.fileSize));
    if (scan.header) {
        const CPdcScanHeader& header = *scan.header;
        std::string format;
        for (char c : header.format) {
            format += (c >= 0x20 && c < 0x7F) ? c : '?';
        }
        std::printf(
            "  header: format \"%s\", version %d, byte order %d, reserved %d %d, "
            "%d particles, %d records\n",
            format.c_str(), header.version, header.byteOrder, header.reserved1, header.reserved2,
            header.particleCount, header.attributeCount);
    }
    if (!scan.records.empty()) {
        int nameWidth = 4;
        for (const CPdcScanRecord& record : scan.records) {
            nameWidth = std::max(nameWidth, static_cast<int>(record.name.size()) + 2);
        }
        std::printf("  %10s  %-*s %4s  %-8s %10s  %-24s %-24s %s\n", "offset", nameWidth, "name",
                    "code", "form", "count", "min", "max", "mean");
        for (const CPdcScanRecord& record : scan.records) {
            const std::string name = "\"" + record.name + "\"";
            for (int32_t c = 0; c < record.Components(); ++c) {
                const CComponentStats& stats = record.stats[static_cast<size_t>(c)];
                const std::string component =
                    record.Components() == 1 ? "" : std::string(1, "xyz"[c]) + " ";
                const std::string min = component + Statistic(stats, stats.min);
                if (c == 0) {
                    std::printf("  %10ju  %-*s %4d  %-8s %10ju  ",
                                static_cast<uintmax_t>(record.offset), nameWidth, name.c_str(),
                                record.code, record.IsArray() ? "array" : "single",
                                static_cast<uintmax_t>(record.count));
                } else {
                    std::printf("  %10s  %-*s %4s  %-8s %10s  ", "", nameWidth, "", "", "", "");
                }
                std::printf("%-24s %-24s %s\n", min.c_str(), Statistic(stats, stats.max).c_str(),
                            Statistic(stats, stats.Mean()).c_str());
            }
        }
    }
    for (const CPdcProblem& problem : scan.problems) {
        std::printf("  %s: %s\n", problem.fatal ? "unreadable" : "suspicious",
                    problem.text.c_str());
    }
}

int RunInfo(const CInfoOptions& options) {
    int exitCode = ExitOk;
    for (size_t i = 0; i < options.files.size(); ++i) {
        const std::string& file = options.files[i];
        CPdcScan scan;
        std::string error;
        const bool opened = ScanPdc(file, scan, error);
        if (!opened) {
            PrintError("info", error);
            exitCode = ExitFailed;
        } else if (!scan.Readable()) {
            exitCode = ExitFailed;
        }
        if (options.json) {
            const nlohmann::ordered_json out = ScanJson(file, opened ? &scan : nullptr, error);
            std::printf(
                "%s\n",
                out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
        } else if (opened) {
            if (i > 0) {
                std::printf("\n");
            }
            PrintText(file, scan);
        }
    }
    return exitCode;
}

}  // namespace

void AddInfoCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CInfoOptions>();
    CLI::App* command = app.add_subcommand(
        "info",
        "Show the header and records of PDC files, with per-component statistics and "
        "any problem a reader would meet.");
    command->add_option("files", options->files, "PDC files")->required();
    command->add_flag("--json", options->json,
                      "One JSON object per file and line: file, header, records, problems");
    command->footer(
        "Exit status 1 when a file cannot be read (truncated, a forged count or length, an "
        "unknown type code); suspicious content (trailing bytes, NaN or infinite values) is "
        "reported with status 0.\n"
        "Example:\n"
        "  velpo info velpo-demo/particles.1.pdc velpo-demo/particles.2.pdc\n"
        "  velpo info --json velpo-demo/particles.48.pdc");
    command->callback([options, &exitCode] { exitCode = RunInfo(*options); });
}

}  // namespace VelpoTools
