// velpo dump: the particles of a PDC file as CSV rows or as JSON columns.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "tools/Command.h"
#include "tools/Numbers.h"
#include "tools/PdcScan.h"

namespace VelpoTools {

namespace {

struct CDumpOptions {
    std::string file;
    std::string format = "csv";
    std::vector<std::string> attributes;
    std::string range;
};

struct CParticleRange {
    uint64_t first = 0;
    uint64_t last = std::numeric_limits<uint64_t>::max();
};

// "FIRST:LAST", either side may be left out.
bool ParseRange(const std::string& text, CParticleRange& range) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    auto parse = [](std::string_view part, uint64_t& value) {
        if (part.empty()) {
            return true;
        }
        const char* end = part.data() + part.size();
        const auto result = std::from_chars(part.data(), end, value);
        return result.ec == std::errc() && result.ptr == end;
    };
    const std::string_view all(text);
    return parse(all.substr(0, colon), range.first) && parse(all.substr(colon + 1), range.last) &&
           range.first <= range.last;
}

struct CDumpColumn {
    std::string name;
    int32_t code = 0;
    int32_t components = 1;
    bool array = false;
    std::vector<double> values;  // components interleaved, particles of the range only
};

class CDumpCollector : public CPdcValueVisitor {
public:
    CDumpCollector(const std::vector<std::string>& names, CParticleRange range)
        : names_(names.begin(), names.end()), range_(range) {}

    bool Wants(const CPdcScanRecord& record) override {
        if (!names_.empty() && !names_.count(record.name)) {
            return false;
        }
        columns_.push_back({record.name, record.code, record.Components(), record.IsArray(), {}});
        return true;
    }

    void Values(const CPdcScanRecord& record, uint64_t first, const double* values,
                size_t count) override {
        CDumpColumn& column = columns_.back();
        if (!record.IsArray()) {
            column.values.insert(column.values.end(), values, values + count);
            return;
        }
        const uint64_t components = static_cast<uint64_t>(record.Components());
        for (size_t i = 0; i < count; ++i) {
            const uint64_t particle = (first + i) / components;
            if (particle >= range_.first && particle <= range_.last) {
                column.values.push_back(values[i]);
            }
        }
    }

    std::vector<CDumpColumn>& Columns() { return columns_; }

private:
    std::set<std::string> names_;
    CParticleRange range_;
    std::vector<CDumpColumn> columns_;
};

void AppendValue(std::string& out, const CDumpColumn& column, double value) {
    if (column.code <= 1) {
        AppendInt(out, static_cast<int64_t>(value));
    } else {
        AppendDouble(out, value);
    }
}

// Output goes out in large pieces rather than one call per number.
void FlushIfLarge(std::string& out, bool force = false) {
    if (force || out.size() > (1u << 20)) {
        std::fwrite(out.data(), 1, out.size(), stdout);
        out.clear();
    }
}

void WriteCsv(const std::vector<CDumpColumn>& columns, uint64_t rows) {
    std::string out;
    for (size_t i = 0; i < columns.size(); ++i) {
        const CDumpColumn& column = columns[i];
        for (int32_t c = 0; c < column.components; ++c) {
            out += (i == 0 && c == 0) ? "" : ",";
            out += column.name;
            if (column.components == 3) {
                out += std::string(".") + "xyz"[c];
            }
        }
    }
    out += '\n';
    for (uint64_t row = 0; row < rows; ++row) {
        bool firstCell = true;
        for (const CDumpColumn& column : columns) {
            const size_t base = column.array ? static_cast<size_t>(row) * column.components : 0;
            for (int32_t c = 0; c < column.components; ++c) {
                if (!firstCell) {
                    out += ',';
                }
                firstCell = false;
                AppendValue(out, column, column.values[base + static_cast<size_t>(c)]);
            }
        }
        out += '\n';
        FlushIfLarge(out);
    }
    FlushIfLarge(out, true);
}

void AppendItem(std::string& out, const CDumpColumn& column, size_t at) {
    if (column.components == 1) {
        AppendValue(out, column, column.values[at]);
        return;
    }
    out += '[';
    for (size_t c = 0; c < 3; ++c) {
        out += c ? ", " : "";
        AppendValue(out, column, column.values[at + c]);
    }
    out += ']';
}

void WriteJson(const std::vector<CDumpColumn>& columns, uint64_t rows) {
    std::string out = "{\n  \"particleCount\": " + std::to_string(rows) + ",\n  \"attributes\": {";
    for (size_t i = 0; i < columns.size(); ++i) {
        const CDumpColumn& column = columns[i];
        out += i ? ",\n    " : "\n    ";
        out += nlohmann::json(column.name)
                   .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        out += ": ";
        if (!column.array) {
            AppendItem(out, column, 0);
            continue;
        }
        out += '[';
        for (uint64_t row = 0; row < rows; ++row) {
            out += row ? ", " : "";
            AppendItem(out, column, static_cast<size_t>(row) * column.components);
            FlushIfLarge(out);
        }
        out += ']';
    }
    out += columns.empty() ? "}\n}\n" : "\n  }\n}\n";
    FlushIfLarge(out, true);
}

int RunDump(const CDumpOptions& options) {
    CParticleRange range;
    if (!options.range.empty() && !ParseRange(options.range, range)) {
        throw CLI::ValidationError("--range", "\"" + options.range +
                                                  "\" is not a range: expected FIRST:LAST with "
                                                  "FIRST <= LAST, either may be left out");
    }
    CDumpCollector collector(options.attributes, range);
    CPdcScan scan;
    std::string error;
    if (!ScanPdc(options.file, scan, error, &collector)) {
        PrintError("dump", error);
        return ExitFailed;
    }
    for (const CPdcProblem& problem : scan.problems) {
        if (problem.fatal) {
            PrintError("dump", options.file + ": " + problem.text);
        }
    }
    if (!scan.Readable()) {
        return ExitFailed;
    }
    for (const std::string& name : options.attributes) {
        const bool found =
            std::any_of(scan.records.begin(), scan.records.end(),
                        [&](const CPdcScanRecord& record) { return record.name == name; });
        if (!found) {
            std::string names;
            for (const CPdcScanRecord& record : scan.records) {
                names += (names.empty() ? "" : ", ") + ("\"" + record.name + "\"");
            }
            PrintError("dump", options.file + ": no record named \"" + name +
                                   "\" (the file holds " + (names.empty() ? "none" : names) + ")");
            return ExitFailed;
        }
    }
    const uint64_t particles = static_cast<uint64_t>(std::max(0, scan.header->particleCount));
    if (particles > 0 && range.first >= particles) {
        PrintError("dump", options.file + ": range " + options.range + " starts past the " +
                               std::to_string(particles) + " particles of the file");
        return ExitFailed;
    }
    const uint64_t rows =
        particles == 0 ? 0 : std::min(range.last, particles - 1) - range.first + 1;
    if (options.format == "json") {
        WriteJson(collector.Columns(), rows);
    } else {
        WriteCsv(collector.Columns(), rows);
    }
    return ExitOk;
}

}  // namespace

void AddDumpCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CDumpOptions>();
    CLI::App* command =
        app.add_subcommand("dump",
                           "Print the particles of a PDC file: CSV rows, one per particle, or JSON "
                           "{\"particleCount\", \"attributes\": {name: [values]}}.");
    command->add_option("file", options->file, "PDC file")->required();
    command->add_option("--format", options->format, "csv (default) or json")
        ->check(CLI::IsMember({"csv", "json"}));
    command
        ->add_option("--attributes", options->attributes,
                     "Only these records, by name (comma-separated)")
        ->delimiter(',');
    command->add_option("--range", options->range,
                        "Particles FIRST to LAST, both included; either may be left out (10:)");
    command->footer(
        "A vector is three CSV columns name.x, name.y, name.z, or [x, y, z] in JSON; a "
        "single-value record repeats on every CSV row and is one value in JSON. Values are "
        "written so that they read back exactly.\n"
        "Example:\n"
        "  velpo dump velpo-demo/particles.1.pdc --attributes id,position --range 0:9\n"
        "  velpo dump velpo-demo/particles.1.pdc --format json > frame1.json");
    command->callback([options, &exitCode] { exitCode = RunDump(*options); });
}

}  // namespace VelpoTools
