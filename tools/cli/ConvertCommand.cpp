// velpo convert: PDC files to PLY point files and back, one file or a
// whole '#' sequence.
#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "tools/cli/Command.h"
#include "tools/cli/StandardConsole.h"
#include "tools/common/Output.h"
#include "tools/common/OutputFile.h"
#include "tools/common/SameFile.h"
#include "tools/common/Text.h"
#include "tools/ply/ConvertFiles.h"
#include "tools/sequence/FrameRunner.h"
#include "tools/sequence/Progress.h"
#include "tools/sequence/SequenceOptions.h"

namespace VelpoTools {

namespace {

using Velpo::CResult;

struct CConvertOptions {
    std::string in;
    std::string out;
    bool ascii = false;
    bool floats = false;
    bool sync = false;
    CSequenceOptions sequence;
};

bool Numbered(const std::string& pattern) {
    return pattern.find('#') != std::string::npos;
}

CResult CheckUsage(const CConvertOptions& options) {
    CConvertDirection direction = CConvertDirection::PdcToPly;
    if (CResult chosen = ConvertDirection(options.in, options.out, direction); !chosen) {
        return chosen;
    }
    if (direction == CConvertDirection::PlyToPdc && (options.ascii || options.floats)) {
        return CResult::Fail("--ascii and --float choose how PLY is written; " +
                             Quoted(options.out) + " is a PDC file");
    }
    if (Numbered(options.in) != Numbered(options.out)) {
        return CResult::Fail("for a sequence both IN and OUT need a '#' for the frame number (" +
                             Quoted(Numbered(options.in) ? options.out : options.in) +
                             " has none); for one file neither has one");
    }
    if (!Numbered(options.in) && !options.sequence.frames.empty()) {
        return CResult::Fail("--frames needs '#' patterns for IN and OUT");
    }
    return CResult::Ok();
}

// Every output is named and checked before any is written: one that is an
// input of the run (through a link, a hard link or ".." too), or two frames
// that would write one file, make the whole run a usage error.
CResult NameOutputs(const CConvertOptions& options, const std::vector<CSequenceFrame>& frames,
                    std::vector<std::string>& outputs) {
    CInputFiles inputs;
    for (const CSequenceFrame& frame : frames) {
        inputs.Add(frame.file);
    }
    std::vector<std::pair<int32_t, std::string>> named;
    for (const CSequenceFrame& frame : frames) {
        std::string out = Numbered(options.out) ? FrameFile(options.out, frame.frame) : options.out;
        if (CResult apart = inputs.CheckOutput(out); !apart) {
            return apart;
        }
        named.emplace_back(frame.frame, out);
        outputs.push_back(std::move(out));
    }
    return CheckDistinctOutputs(named);
}

// One file converted; what it has to say goes into the frame's report.
void ConvertOne(const std::string& in, const std::string& out, const CPlyChoice& choice,
                CFrameReport& report) {
    CConvertSummary summary;
    std::vector<std::string> notes;
    CResult done = CResult::Ok();
    try {
        done = ConvertFile(in, out, choice, summary, notes);
    } catch (const std::bad_alloc&) {
        done = CResult::Fail(in + ": out of memory; " + out + " not written");
    } catch (const std::exception& error) {
        done = CResult::Fail(in + ": " + error.what() + "; " + out + " not written");
    }
    for (const std::string& note : notes) {
        report.err += WarningLine("convert", note);
    }
    if (!done) {
        report.err += ErrorLine("convert", done.Message());
        report.failed = true;
        return;
    }
    report.out = fmt::format("converted {} to {}: {} particles, {} records\n", Escaped(in),
                             Escaped(out), summary.particles, summary.records);
    report.bytes = summary.bytesRead;
}

int RunConvert(const CConvertOptions& options) {
    CSequenceChoice sequence;
    CResult usage = CheckUsage(options);
    if (usage) {
        usage = ParseSequenceOptions(options.sequence, sequence);
    }
    if (!usage) {
        return UsageError("convert", usage);
    }
    std::vector<CSequenceFrame> frames;
    if (CResult found = ResolvePattern(options.in, sequence, frames); !found) {
        PrintError("convert", found.Message());
        return ExitFailed;
    }
    std::vector<std::string> outputs;
    if (CResult named = NameOutputs(options, frames, outputs); !named) {
        return UsageError("convert", named);
    }
    SetOutputDurability(options.sync ? CDurability::Disk : CDurability::Process);
    const CPlyChoice choice{options.ascii, options.floats};
    const bool numbered = Numbered(options.in);
    CProgress progress("convert", frames.size(), sequence.progress, StandardConsole());
    const size_t failed = RunFrames(
        frames.size(), sequence.jobs,
        [&](size_t i, CFrameReport& report) {
            ConvertOne(frames[i].file, outputs[i], choice, report);
        },
        StandardConsole(), &progress);
    progress.Finish();
    if (numbered) {
        StandardOutput().Write(
            fmt::format("converted {} of {} frames\n", frames.size() - failed, frames.size()));
    }
    return failed > 0 ? ExitFailed : ExitOk;
}

}  // namespace

void AddConvertCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CConvertOptions>();
    CLI::App* command = app.add_subcommand(
        "convert",
        "Convert a PDC file to a PLY point file or back (the direction from the extensions "
        ".pdc and .ply), or a whole sequence with '#' in IN and OUT.");
    command->add_option("IN", options->in, "PDC or PLY file, or a '#' pattern")->required();
    command->add_option("OUT", options->out, "PLY or PDC file, or a '#' pattern")->required();
    command->add_flag("--ascii", options->ascii, "Write ASCII PLY instead of binary little-endian");
    command->add_flag("--float", options->floats,
                      "Write doubles as 32-bit floats: half the size, NOT exact (values are "
                      "rounded and do not convert back to the same PDC)");
    command->add_flag("--sync", options->sync,
                      "Flush each file written to the disk before it is reported converted, so "
                      "that it survives a power failure, not only a killed command (slower)");
    AddSequenceOptions(*command, options->sequence);
    command->footer(
        "PDC to PLY: one vertex per particle. The vector record \"position\" becomes the "
        "properties x, y, z; another vector record NAME becomes NAME_x, NAME_y, NAME_z; an "
        "integer record an int property, a double record a double. Records that hold one "
        "value for all particles, the PDC header and the order of the records go into "
        "comment lines ('comment velpo value <code> <name> <numbers>', 'comment velpo pdc "
        "...', 'comment velpo array <code> <name>'), so that PLY to PDC gives back the same "
        "bytes. Names are written as one word: letters, digits, '_', '-' and '.' as they "
        "are, every other byte (blanks, '%', control or non-ASCII bytes) as %XX in hex, the "
        "empty name as %; two records that would give one property name get _2, _3 added. "
        "Numbers in comments are exact: shortest round-trip decimals, inf, nan, -nan, and "
        "nan:0x<bits> for other NaNs. Binary PLY is exact; ASCII PLY is exact for every "
        "value but NaNs with unusual bits, which it writes as nan or -nan.\n"
        "PLY to PDC reads ascii, binary_little_endian and binary_big_endian with any scalar "
        "type, int64 and uint64 included. Without velpo comments (a PLY from another "
        "program): x, y, z become \"position\", NAME_x/_y/_z triples vector records, integer "
        "properties that fit 32 bits (int64 and uint64 ones when every value does) integer "
        "records (code 1), uint, float, double and other 64-bit properties double records "
        "(code 3; a 64-bit value past 2^53 is refused); other elements (faces) are skipped. "
        "A vertex element without properties, or a PDC header that counts particles without "
        "records, is refused.\n"
        "A file is written beside its name and moved over it only when complete. An OUT that "
        "is one of the inputs (also through a link or a hard link), or two frames whose OUT "
        "names one file, are refused (exit status 2) before anything is written.\n"
        "Example:\n"
        "  velpo convert velpo-demo/particles.1.pdc frame1.ply\n"
        "  velpo convert velpo-demo/particles.#.pdc ply/particles.#.ply --ascii --jobs 4\n"
        "  velpo convert frame1.ply frame1.pdc");
    command->callback([options, &exitCode] { exitCode = RunConvert(*options); });
}

}  // namespace VelpoTools
