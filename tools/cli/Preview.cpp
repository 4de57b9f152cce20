// velpo preview: a PNG picture of a PDC frame, a contact sheet of a
// sequence, or a chart of a sequence's particle count and attribute range.
#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "tools/cli/Command.h"
#include "tools/cli/OptionChecks.h"
#include "tools/cli/StandardConsole.h"
#include "tools/common/Output.h"
#include "tools/common/SameFile.h"
#include "tools/common/Text.h"
#include "tools/preview/ColorMap.h"
#include "tools/preview/FramePicture.h"
#include "tools/preview/Picture.h"
#include "tools/preview/Plot.h"
#include "tools/preview/PreviewChoice.h"
#include "tools/preview/Sheet.h"
#include "tools/sequence/SequenceOptions.h"

namespace VelpoTools {

namespace {

using Velpo::CResult;

struct CPreviewOptions {
    std::string input;
    std::string output;
    std::string size;
    std::string axis = "z";
    std::string camera;
    std::string colour;
    bool rgb = false;
    int pointSize = 0;
    bool sheet = false;
    bool plot = false;
    CSequenceOptions sequence;
};

CResult ReadChoice(const CPreviewOptions& options, CPreviewChoice& choice) {
    choice.output = options.output;
    // The validators have checked these texts; a failure here is theirs.
    if (!options.size.empty()) {
        if (CResult size = ParseSize(options.size, choice.width, choice.height); !size) {
            return CResult::Fail("--size: " + size.Message());
        }
    }
    if (CResult axis = ParseAxis(options.axis, choice.view.axis); !axis) {
        return CResult::Fail("--axis: " + axis.Message());
    }
    if (!options.camera.empty()) {
        CCamera camera;
        if (CResult parsed = ParseCamera(options.camera, camera); !parsed) {
            return CResult::Fail("--camera: " + parsed.Message());
        }
        choice.view.camera = camera;
    }
    if (options.rgb && options.colour.empty()) {
        return CResult::Fail("--rgb colours by an attribute: give it with --color");
    }
    if (options.sheet && options.plot) {
        return CResult::Fail("--sheet and --plot draw different pictures: give one");
    }
    if (options.pointSize < 0 || options.pointSize > 64) {
        return CResult::Fail("--point-size: " + std::to_string(options.pointSize) +
                             " is not from 1 to 64 pixels (or 0 for automatic)");
    }
    choice.colour = options.colour;
    choice.rgb = options.rgb;
    choice.pointSize = options.pointSize;
    return CResult::Ok();
}

// The picture goes only to a .png name, so that a slip of the keyboard
// (-o fluid.12.pdc) never writes a picture over a cache; or to a device or
// pipe that is there (-o /dev/stdout), which holds no cache.
CResult CheckOutputName(const std::string& output) {
    if (output.empty()) {
        return CResult::Fail("-o: the PNG file to write is empty");
    }
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(output, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
        !std::filesystem::is_directory(status)) {
        return CResult::Ok();
    }
    const size_t dot = output.find_last_of('.');
    std::string extension = dot == std::string::npos ? std::string() : output.substr(dot);
    for (char& c : extension) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    if (extension != ".png") {
        return CResult::Fail("-o: " + Quoted(output) + " must end in .png");
    }
    return CResult::Ok();
}

// Nor over any frame it draws, through a link or a hard link.
CResult CheckOutputApart(const std::string& output, const std::vector<CSequenceFrame>& frames) {
    CInputFiles inputs;
    for (const CSequenceFrame& frame : frames) {
        inputs.Add(frame.file);
    }
    return inputs.CheckOutput(output);
}

int PreviewOneFrame(const CPreviewChoice& choice, const CSequenceFrame& frame) {
    CPicture picture(choice.width, choice.height, BackgroundColour);
    int64_t particles = 0;
    CResult done = DrawFramePicture(choice, frame.file, picture, particles);
    if (done) {
        done = WritePng(picture, choice.output);
    }
    if (!done) {
        PrintError("preview", done.Message());
        return ExitFailed;
    }
    StandardOutput().Write(fmt::format("{}: {}x{}, {} particles of {}\n", Escaped(choice.output),
                                       choice.width, choice.height, particles,
                                       Escaped(frame.file)));
    return ExitOk;
}

// A sheet's or a chart's outcome on the streams, and its exit code.
int Shown(const CSequencePicture& picture) {
    if (!picture.written.empty()) {
        StandardOutput().Write(picture.written + "\n");
    }
    if (picture.problem) {
        return ExitOk;
    }
    if (picture.refused) {
        return UsageError("preview", picture.problem);
    }
    (void)StandardOutput().Flush();
    PrintError("preview", picture.problem.Message());
    return ExitFailed;
}

int RunPreview(const CPreviewOptions& options) {
    CPreviewChoice choice;
    CSequenceChoice sequence;
    CResult usage = CheckOutputName(options.output);
    if (usage) {
        usage = ReadChoice(options, choice);
    }
    if (usage) {
        usage = ParseSequenceOptions(options.sequence, sequence);
    }
    if (!usage) {
        return UsageError("preview", usage);
    }
    std::vector<CSequenceFrame> frames;
    std::vector<std::string> unnumbered;
    const CResult found = ResolvePattern(options.input, sequence, frames, &unnumbered);
    for (const std::string& file : unnumbered) {
        PrintWarning("preview", UnnumberedWarning(file, options.input));
    }
    if (!found) {
        PrintError("preview", found.Message());
        return ExitFailed;
    }
    if (CResult apart = CheckOutputApart(options.output, frames); !apart) {
        return UsageError("preview", apart);
    }
    if (frames.empty()) {
        PrintError("preview", Quoted(options.input) + ": no frame falls to shard " +
                                  options.sequence.shard + "; nothing to draw");
        return ExitFailed;
    }
    if (options.sheet) {
        return Shown(WriteSheet(choice, options.input, frames, sequence, StandardConsole()));
    }
    if (options.plot) {
        return Shown(WritePlot(choice, options.input, frames, sequence, StandardConsole()));
    }
    if (frames.size() != 1) {
        return UsageError(
            "preview",
            CResult::Fail(fmt::format("{} names {} frames: pick one with --frames N, or draw them "
                                      "all with --sheet or --plot",
                                      Quoted(options.input), frames.size())));
    }
    return PreviewOneFrame(choice, frames.front());
}

}  // namespace

void AddPreviewCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CPreviewOptions>();
    CLI::App* command = app.add_subcommand(
        "preview", "Draw a PDC frame as a PNG picture, with a legend of what it shows.");
    command
        ->add_option("input", options->input,
                     "PDC file, or a sequence with '#' standing for the frame number")
        ->required();
    command->add_option("-o,--output", options->output, "PNG file to write")->required();
    command
        ->add_option("--size", options->size,
                     "Picture size WIDTHxHEIGHT in pixels (default 960x540; each side 64 to "
                     "16384)")
        ->check(PictureSize());
    CLI::Option* axis =
        command
            ->add_option("--axis", options->axis,
                         "Look along this axis, orthographic: z (default) looks along -z with x "
                         "right and y up; x looks along -x with -z right and y up; y looks down "
                         "-y with x right and -z up")
            ->check(CLI::IsMember({"x", "y", "z"}));
    command
        ->add_option("--camera", options->camera,
                     "Perspective instead: EX,EY,EZ[,TX,TY,TZ[,FOV]], an eye looking at the "
                     "target (default: the centre of the particles' bounds) with world y up "
                     "and FOV degrees of vertical view (default 40); not with --axis")
        ->check(CameraPlacement())
        ->excludes(axis);
    command->add_option("--color", options->colour,
                        "Colour by this attribute: numbers on a colour map from their min "
                        "(dark blue) to max (yellow), vectors by their length");
    command->add_flag("--rgb", options->rgb,
                      "With --color of a vector attribute: its x, y, z as red, green, blue, "
                      "clamped to 0..1");
    command->add_option("--point-size", options->pointSize,
                        "Particle size in pixels (default 0: automatic, smaller for more "
                        "particles)");
    command->add_flag("--sheet", options->sheet,
                      "A contact sheet of the sequence: a grid of the frames, each labelled "
                      "with its number, all framed to the bounds of the whole sequence");
    command->add_flag("--plot", options->plot,
                      "A chart of the sequence over its frames: the particle count, and with "
                      "--color the attribute's min, mean and max");
    AddSequenceOptions(*command, options->sequence);
    command->footer(
        "Positions come from the record \"position\"; a file without it is an error. The "
        "particles are framed to their bounds with a small margin; nearer ones are drawn over "
        "farther ones. Without --color they are drawn in one light colour on a dark "
        "background. NaN and infinite attribute values are drawn grey and counted in the "
        "legend; particles with a NaN or infinite position are not drawn. The PNG replaces "
        "the output file only when it is whole.\n"
        "Example:\n"
        "  velpo preview velpo-demo/particles.1.pdc -o frame.png\n"
        "  velpo preview cache/fluid.12.pdc --color velocity --size 1920x1080 -o fluid.png\n"
        "  velpo preview cache/fluid.12.pdc --camera 10,6,10 -o fluid-3d.png\n"
        "  velpo preview 'cache/fluid.#.pdc' --frames 1-48 --sheet -o sheet.png\n"
        "  velpo preview 'cache/fluid.#.pdc' --plot --color velocity -o chart.png");
    command->callback([options, &exitCode] { exitCode = RunPreview(*options); });
}

}  // namespace VelpoTools
