// velpo view: a sequence of cache files in a browser, served over HTTP by
// this machine, which needs no display of its own.
#include <CLI/CLI.hpp>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/cli/Command.h"
#include "tools/common/Output.h"
#include "tools/common/Text.h"
#include "tools/sequence/SequenceOptions.h"

#ifdef VELPO_VIEW
#include <fmt/format.h>

#include "tools/view/Browser.h"
#include "tools/view/MemoryReuse.h"
#include "tools/view/StopSignal.h"
#include "tools/view/ViewSequence.h"
#include "tools/view/ViewServer.h"
#endif

namespace VelpoTools {

namespace {

using Velpo::CResult;

struct CViewCommandOptions {
    std::string pattern;
    std::string settings;
    std::string frames;
    int port = 0;
    std::string bind;
    bool open = false;
    int64_t budget = 4000000;
    double fps = 24.0;
};

#ifdef VELPO_VIEW

// The timeline shows the frames a pattern skips as missing; beyond this
// many frames in all, only the frames found are listed.
constexpr size_t MaxTimelineFrames = 100000;

CResult ViewUsage(const CViewCommandOptions& options, const CSequenceChoice& choice) {
    if (options.pattern.empty() == options.settings.empty()) {
        return CResult::Fail("give either a file or '#' pattern, or --settings");
    }
    if (!options.settings.empty() && !choice.range) {
        return CResult::Fail("--settings needs --frames A-B");
    }
    if (options.port < 0 || options.port > 65535) {
        return CResult::Fail(
            fmt::format("--port: {} is not a port (1 to 65535, or 0 for a free "
                        "one)",
                        options.port));
    }
    return CResult::Ok();
}

CResult FindFrames(const CViewCommandOptions& options, const CSequenceChoice& choice,
                   std::vector<CSequenceFrame>& frames) {
    if (!options.settings.empty()) {
        return SettingsSequence(options.settings, *choice.range, frames);
    }
    if (choice.range || options.pattern.find('#') == std::string::npos) {
        return ResolvePattern(options.pattern, choice, frames);
    }
    std::vector<CSequenceFrame> found;
    if (CResult listed = PatternSequence(options.pattern, std::nullopt, found); !listed) {
        return listed;
    }
    frames = WithGapsFilled(options.pattern, found, MaxTimelineFrames);
    return CResult::Ok();
}

CViewOptions ServerOptions(const CViewCommandOptions& options) {
    CViewOptions server;
    if (!options.bind.empty()) {
        server.address = options.bind;
        server.tokenRequired = true;
    }
    server.port = static_cast<uint16_t>(options.port);
    server.budget = options.budget;
    server.fps = options.fps;
    server.title = options.settings.empty() ? options.pattern : options.settings;
    return server;
}

CResult Announce(const CViewServer& server, const CViewCommandOptions& options, size_t frames) {
    std::string text = fmt::format(
        "velpo view: {} {} of {} at\n  {}\n", frames, frames == 1 ? "frame" : "frames",
        Escaped(options.settings.empty() ? options.pattern : options.settings), server.Url());
    if (options.bind.empty()) {
        text += fmt::format(
            "From another machine: ssh -L {0}:127.0.0.1:{0} <this machine>, then open "
            "http://127.0.0.1:{0}/ there.\n",
            server.Port());
    }
    text += "Press Ctrl-C to stop.\n";
    StandardOutput().Write(text);
    // Shown now, not at exit: the address is what the user waits for, and
    // a server nobody can learn the address of is no use.
    return StandardOutput().Flush();
}

int RunView(const CViewCommandOptions& options) {
    CSequenceChoice choice;
    CSequenceOptions sequence;
    sequence.frames = options.frames;
    CResult usage = ParseSequenceOptions(sequence, choice);
    if (usage) {
        usage = ViewUsage(options, choice);
    }
    if (!usage) {
        return UsageError("view", usage);
    }
    std::vector<CSequenceFrame> frames;
    if (CResult found = FindFrames(options, choice, frames); !found) {
        PrintError("view", found.Message());
        return ExitFailed;
    }
    // Before the server's threads start: they leave Ctrl-C to the watcher,
    // and share one pool of frame buffers.
    ReuseLargeBlocks();
    CStopSignal signals;
    CViewServer server(frames, ServerOptions(options));
    if (CResult started = server.Start(); !started) {
        PrintError("view", started.Message());
        return ExitFailed;
    }
    if (!Announce(server, options, frames.size())) {
        return ExitFailed;  // the command's last flush says why
    }
    if (options.open) {
        if (CResult opened = OpenInBrowser(server.Url()); !opened) {
            PrintWarning("view", opened.Message());
        }
    }
    signals.Watch([&server] { server.Stop(); });
    server.Wait();
    std::fputs("velpo view: stopped\n", stderr);
    return ExitOk;
}

#else

int RunView(const CViewCommandOptions&) {
    PrintError("view", "the Windows build has no view; run velpo view on a Linux machine");
    return ExitFailed;
}

#endif

}  // namespace

void AddViewCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CViewCommandOptions>();
#ifdef VELPO_VIEW
    const char* summary =
        "Look at a sequence of cache files in a web browser: a 3D view of each frame, colours "
        "by any record, a timeline, picked particles' values, each frame's records.";
#else
    const char* summary = "Not part of the Windows build: run velpo view on Linux.";
#endif
    CLI::App* command = app.add_subcommand("view", summary);
    command->add_option("pattern", options->pattern,
                        "Cache files, '#' standing for the frame number (all files that fit "
                        "when no --frames are given), or one file");
    command->add_option("--settings", options->settings,
                        "Settings JSON naming the files as the nodes do (needs --frames)");
    command->add_option("--frames", options->frames, "Frames A-B, both included");
    command->add_option("--port", options->port, "Port to listen on (default 0: a free one)");
    command->add_option("--bind", options->bind,
                        "Listen on this address instead of 127.0.0.1 (such as 0.0.0.0 for "
                        "every network); every request then needs the token printed with the "
                        "address");
    command->add_flag("--open", options->open, "Open the address in this machine's browser");
    command
        ->add_option("--budget", options->budget,
                     "Most points drawn of a frame (default 4000000); larger frames show a "
                     "subset that stays the same from frame to frame, chosen by \"id\"")
        ->check(CLI::Range(int64_t{1}, int64_t{1} << 31));
    command->add_option("--fps", options->fps, "Frames per second when playing (default 24)")
        ->check(CLI::Range(0.1, 240.0));
    command->footer(
        "Prints the address to open and serves until Ctrl-C. It serves only the frames of the "
        "sequence given, read as the nodes read them, and the page built into this program; "
        "nothing is loaded from elsewhere. By default only this machine can connect: from a "
        "laptop, forward the port over SSH. Missing and unreadable frames are marked on the "
        "timeline with the reason 'velpo check' gives. Not part of the Windows build.\n"
        "Example:\n"
        "  velpo view 'velpo-demo/particles.#.pdc'\n"
        "  velpo view --settings fluid.json --frames 1-48 --port 8123\n"
        "  velpo view 'cache/fluid.#.pdc' --bind 0.0.0.0 --budget 1000000");
    command->callback([options, &exitCode] { exitCode = RunView(*options); });
}

}  // namespace VelpoTools
