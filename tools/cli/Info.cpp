// velpo info: the header and records of PDC files, with statistics and every
// problem a reader would trip over.
#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/cli/Command.h"
#include "tools/common/Numbers.h"
#include "tools/common/Output.h"
#include "tools/common/Text.h"
#include "tools/contents/FileReport.h"
#include "tools/contents/Leftovers.h"
#include "tools/contents/ReportJson.h"

namespace VelpoTools {

namespace {

struct CInfoOptions {
    std::vector<std::string> files;
    bool json = false;
};

// Names longer than this are shown cut in the table, so one forged name
// cannot push every column off the screen.
constexpr size_t ShownNameBytes = 200;

std::string Padded(std::string text, size_t width, bool right = false) {
    if (text.size() < width) {
        text.insert(right ? text.begin() : text.end(), width - text.size(), ' ');
    }
    return text;
}

std::string ShownName(const std::string& name) {
    if (name.size() <= ShownNameBytes) {
        return Quoted(name);
    }
    return fmt::format("{}... ({} bytes)", Quoted(name.substr(0, ShownNameBytes)), name.size());
}

std::string Statistic(const CComponentStats& stats, double value) {
    return stats.finite ? FormatDouble(value) : std::string("-");
}

std::string HeaderLine(const PdcHeader& header) {
    std::string format;
    for (const char c : header.format) {
        format += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return fmt::format(
        "  header: format \"{}\", version {}, byte order {}, reserved {} {}, {} particles, {} "
        "records\n",
        format, header.version, header.byteOrder, header.reserved1, header.reserved2,
        header.particleCount, header.attributeCount);
}

std::string RecordLines(const CPdcInspection& inspection) {
    size_t nameWidth = 4;
    for (const CInspectedRecord& inspected : inspection.records) {
        nameWidth = std::max(nameWidth, ShownName(inspected.record.name).size());
    }
    std::string out = "  " + Padded("offset", 10, true) + "  " + Padded("name", nameWidth) + " " +
                      Padded("code", 4, true) + "  " + Padded("form", 8) + " " +
                      Padded("count", 10, true) + "  " + Padded("min", 24) + " " +
                      Padded("max", 24) + " mean\n";
    for (const CInspectedRecord& inspected : inspection.records) {
        const CPdcRecord& record = inspected.record;
        for (int32_t c = 0; c < record.Components(); ++c) {
            const CComponentStats& stats = inspected.stats[static_cast<size_t>(c)];
            const std::string component =
                record.Components() == 1 ? "" : std::string(1, "xyz"[c]) + " ";
            if (c == 0) {
                out += "  " + Padded(std::to_string(record.offset), 10, true) + "  " +
                       Padded(ShownName(record.name), nameWidth) + " " +
                       Padded(std::to_string(record.code), 4, true) + "  " +
                       Padded(record.IsArray() ? "array" : "single", 8) + " " +
                       Padded(std::to_string(record.count), 10, true) + "  ";
            } else {
                out += std::string(2 + 10 + 2 + nameWidth + 1 + 4 + 2 + 8 + 1 + 10 + 2, ' ');
            }
            out += Padded(component + Statistic(stats, stats.min), 24) + " " +
                   Padded(Statistic(stats, stats.max), 24) + " " + Statistic(stats, stats.Mean()) +
                   "\n";
        }
    }
    return out;
}

std::string InspectionText(const CPdcInspection& inspection) {
    std::string out = fmt::format("{}: {} bytes\n", inspection.file, inspection.fileSize);
    if (inspection.header) {
        out += HeaderLine(*inspection.header);
    }
    if (!inspection.records.empty()) {
        out += RecordLines(inspection);
    }
    for (const CInspectionProblem& problem : inspection.problems) {
        out += std::string("  ") + (problem.fatal ? "unreadable" : "suspicious") + ": " +
               problem.text + "\n";
    }
    return out;
}

// A folder: the temporary files that interrupted writes left in it.
int FolderInfo(const std::string& folder, bool json, bool first, COutput& out) {
    CLeftovers leftovers;
    if (Velpo::CResult found = FindLeftovers(folder, leftovers); !found) {
        PrintError("info", found.Message());
        return ExitFailed;
    }
    if (json) {
        nlohmann::ordered_json object;
        object["folder"] = folder;
        object["leftovers"] = LeftoverJson(leftovers);
        out.Write(ReportText(object) + "\n");
        return ExitOk;
    }
    const size_t count = leftovers.files.size();
    out.Write(std::string(first ? "" : "\n") + Escaped(folder) + ": folder, " +
              (count == 0 ? std::string("no") : std::to_string(count)) + " leftover temporary " +
              (count == 1 ? "file" : "files") + " of interrupted writes" +
              (count == 0 ? "\n" : " (not deleted; remove them once no writer runs)\n") +
              LeftoverLines(leftovers));
    return ExitOk;
}

int RunInfo(const CInfoOptions& options) {
    int exitCode = ExitOk;
    COutput& out = StandardOutput();
    for (size_t i = 0; i < options.files.size() && out.Ok(); ++i) {
        std::error_code code;
        if (std::filesystem::is_directory(options.files[i], code)) {
            exitCode = std::max(exitCode, FolderInfo(options.files[i], options.json, i == 0, out));
            continue;
        }
        const CPdcInspection inspection = InspectPdc(options.files[i]);
        if (!inspection.Readable()) {
            PrintError("info", inspection.file + ": " + inspection.Failure());
            exitCode = ExitFailed;
        }
        if (options.json) {
            out.Write(ReportText(InspectionJson(inspection)) + "\n");
        } else {
            out.Write((i > 0 ? "\n" : "") + InspectionText(inspection));
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
    command->add_option("files", options->files, "PDC files, or folders to search for leftovers")
        ->required();
    command->add_flag(
        "--json", options->json,
        "One JSON object per file and line: file, size, readable, header, records [{name, "
        "code, array, count, offset, nan, infinite, min, max, mean}], problems [{kind, fatal, "
        "text}]");
    command->footer(
        "Exit status 1 when a file cannot be read (missing, truncated, a forged count or "
        "length, an unknown type code); suspicious content (trailing bytes, a last record "
        "that holds only its name, NaN or infinite values) is reported with status 0. "
        "A header that declares particles while the file holds no record is noted. "
        "Control characters in record names are shown escaped (\\n, \\x1b).\n"
        "The JSON is strict (RFC 8259), as jq and every JSON parser take it: a statistic "
        "that is not finite is the string \"NaN\", \"Infinity\" or \"-Infinity\", and null "
        "means no finite value. Each problem has a stable kind: missing-file, cannot-open, "
        "not-a-file, read-error, not-pdc, truncated, forged-length, count-exceeds-file, "
        "unknown-type-code, negative-particle-count, unreadable (fatal); "
        "negative-attribute-count, name-only-record, trailing-name-only-record, "
        "trailing-bytes, nan-values, infinite-values, particles-without-records (notes).\n"
        "Given a folder, info lists the temporary files that interrupted writes left in it "
        "(.velpo-<process>-<n>.tmp), with their size and age; it deletes nothing.\n"
        "Example:\n"
        "  velpo info velpo-demo/particles.1.pdc velpo-demo/particles.2.pdc\n"
        "  velpo info --json velpo-demo/particles.48.pdc\n"
        "  velpo info velpo-demo");
    command->callback([options, &exitCode] { exitCode = RunInfo(*options); });
}

}  // namespace VelpoTools
