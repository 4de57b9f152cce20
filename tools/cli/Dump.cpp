// velpo dump: the particles of a PDC file as CSV rows or as JSON columns.
#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "host/runtime/Evaluation.h"
#include "tools/cli/Command.h"
#include "tools/common/Output.h"
#include "tools/common/Text.h"
#include "tools/contents/FileReport.h"
#include "tools/tables/TableWriter.h"

namespace VelpoTools {

namespace {

using Velpo::CResult;

struct CDumpOptions {
    std::string file;
    std::string format = "csv";
    std::vector<std::string> attributes;
    std::string range;
};

struct CParticleRange {
    int64_t first = 0;
    int64_t last = std::numeric_limits<int64_t>::max();
};

// "FIRST:LAST", either side may be left out.
CResult ParseRange(const std::string& text, CParticleRange& range) {
    const auto parse = [](std::string_view part, int64_t& value) {
        if (part.empty()) {
            return true;
        }
        const char* end = part.data() + part.size();
        const auto result = std::from_chars(part.data(), end, value);
        return result.ec == std::errc() && result.ptr == end && value >= 0;
    };
    const size_t colon = text.find(':');
    const std::string_view all(text);
    if (colon == std::string::npos || !parse(all.substr(0, colon), range.first) ||
        !parse(all.substr(colon + 1), range.last) || range.first > range.last) {
        return CResult::Fail("--range: \"" + text +
                             "\" is not a range: expected FIRST:LAST with FIRST <= LAST, either "
                             "may be left out");
    }
    return CResult::Ok();
}

// The values of one record that fall in the range; integer records keep
// their 32-bit integers, the others their doubles.
struct CDumpColumn {
    std::string name;
    bool integer = false;
    int32_t components = 1;
    bool array = false;
    std::vector<int32_t> integers;
    std::vector<double> doubles;
};

class CDumpCollector : public CPdcValueVisitor {
public:
    CDumpCollector(const std::vector<std::string>& names, CParticleRange range)
        : names_(names.begin(), names.end()), range_(range) {}

    bool Wants(const CPdcRecord& record) override {
        if (!names_.empty() && !names_.count(record.name)) {
            return false;
        }
        columns_.push_back(
            {record.name, record.IsInteger(), record.Components(), record.IsArray(), {}, {}});
        return true;
    }

    void Values(const CPdcRecord& record, int64_t first, const double* values,
                size_t count) override {
        CDumpColumn& column = columns_.back();
        const int64_t components = record.Components();
        for (size_t i = 0; i < count; ++i) {
            const int64_t particle = (first + static_cast<int64_t>(i)) / components;
            if (!record.IsArray() || (particle >= range_.first && particle <= range_.last)) {
                if (column.integer) {
                    column.integers.push_back(static_cast<int32_t>(values[i]));
                } else {
                    column.doubles.push_back(values[i]);
                }
            }
        }
    }

    const std::vector<CDumpColumn>& Columns() const { return columns_; }

private:
    std::set<std::string> names_;
    CParticleRange range_;
    std::vector<CDumpColumn> columns_;
};

std::vector<CTableOutputColumn> OutputColumns(const std::vector<CDumpColumn>& columns) {
    std::vector<CTableOutputColumn> out;
    for (const CDumpColumn& column : columns) {
        out.push_back({column.name, column.integer ? CNumberKind::Int32 : CNumberKind::Double,
                       column.components, !column.array,
                       column.integer ? static_cast<const void*>(column.integers.data())
                                      : static_cast<const void*>(column.doubles.data())});
    }
    return out;
}

CResult CheckAttributesFound(const CDumpOptions& options, const CPdcInspection& inspection) {
    for (const std::string& name : options.attributes) {
        const bool found = std::any_of(
            inspection.records.begin(), inspection.records.end(),
            [&](const CInspectedRecord& inspected) { return inspected.record.name == name; });
        if (!found) {
            std::string names;
            for (const CInspectedRecord& inspected : inspection.records) {
                names += (names.empty() ? "" : ", ") + Quoted(inspected.record.name);
            }
            return CResult::Fail(options.file + ": no record named " + Quoted(name) +
                                 " (the file holds " + (names.empty() ? "none" : names) + ")");
        }
    }
    return CResult::Ok();
}

// A row per particle only where the records hold them: a header that
// declares particles and no record would print a row of nothing per
// particle, and one with single values only would repeat them, both
// without bound in the file's size (28 bytes can claim 2^31 - 1
// particles). Single values alone are dumped for as many particles as the
// nodes take; an array record is checked against the file's bytes already.
CResult CheckRowsHeld(const std::string& file, const CPdcInspection& inspection) {
    const int32_t particles = inspection.header->particleCount;
    if (particles <= 0) {
        return CResult::Ok();
    }
    if (inspection.records.empty()) {
        return CResult::Fail(
            fmt::format("{}: the header declares {} particles but the file holds "
                        "no record of their values; nothing to dump",
                        file, particles));
    }
    const bool arrays =
        std::any_of(inspection.records.begin(), inspection.records.end(),
                    [](const CInspectedRecord& inspected) { return inspected.record.IsArray(); });
    const uint32_t most = VelpoHost::CEvaluateOptions().maxElements;
    if (!arrays && static_cast<uint32_t>(particles) > most) {
        return CResult::Fail(fmt::format(
            "{}: the header declares {} particles, more than the {} the nodes take, and no "
            "record holds a value per particle (forged particle count?)",
            file, particles, most));
    }
    return CResult::Ok();
}

int RunDump(const CDumpOptions& options) {
    CParticleRange range;
    if (!options.range.empty()) {
        if (const CResult parsed = ParseRange(options.range, range); !parsed) {
            return UsageError("dump", parsed);
        }
    }
    CDumpCollector collector(options.attributes, range);
    const CPdcInspection inspection = InspectPdc(options.file, &collector);
    if (!inspection.Readable()) {
        PrintError("dump", options.file + ": " + inspection.Failure());
        return ExitFailed;
    }
    if (const CResult found = CheckAttributesFound(options, inspection); !found) {
        PrintError("dump", found.Message());
        return ExitFailed;
    }
    if (const CResult held = CheckRowsHeld(options.file, inspection); !held) {
        PrintError("dump", held.Message());
        return ExitFailed;
    }
    const int64_t particles = std::max(0, inspection.header->particleCount);
    if (particles > 0 && range.first >= particles) {
        PrintError("dump", fmt::format("{}: range {} starts past the {} particles of the file",
                                       options.file, options.range, particles));
        return ExitFailed;
    }
    const int64_t rows = particles == 0 ? 0 : std::min(range.last, particles - 1) - range.first + 1;
    WriteTable(StandardOutput(), options.format == "json" ? CTableFormat::Json : CTableFormat::Csv,
               OutputColumns(collector.Columns()), static_cast<size_t>(rows));
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
        std::string("A vector is three CSV columns name.x, name.y, name.z, or [x, y, z] in "
                    "JSON; a single-value record repeats on every CSV row and is one value in "
                    "JSON. ") +
        TableNumbersHelp +
        " Names with commas, quotes or line breaks are quoted in CSV. A last record that "
        "holds only its name has no values and is left out. A header that declares "
        "particles while the file holds no record, or more particles than the nodes take (" +
        std::to_string(VelpoHost::CEvaluateOptions().maxElements) +
        ") with single values only, is refused: nothing in the file holds them.\n"
        "Example:\n"
        "  velpo dump velpo-demo/particles.1.pdc --attributes id,position --range 0:9\n"
        "  velpo dump velpo-demo/particles.1.pdc --format json > frame1.json");
    command->callback([options, &exitCode] { exitCode = RunDump(*options); });
}

}  // namespace VelpoTools
