#include "tools/FrameJob.h"

#include <CLI/CLI.hpp>

#include "tools/Command.h"
#include "tools/Numbers.h"
#include "tools/Output.h"
#include "tools/TableWriter.h"

namespace VelpoTools {

using VelpoHost::CResult;

void AddFrameJobOptions(CLI::App& command, CFrameJobOptions& options, const char* patternOption,
                        const char* patternHelp) {
    command
        .add_option("--settings", options.settingsFile,
                    "JSON file with the settings object's parameters: \"Path\", \"Step\", "
                    "\"Float0\" ... \"Vector9\"")
        ->required();
    command.add_option("--frames", options.frames, "Frames A-B, both included")->required();
    command.add_option(patternOption, options.pattern, patternHelp)->required();
    command.add_option("--plugin", options.plugin,
                       "Plug-in library to load (default: the one next to velpo)");
    command.add_option("--threads", options.threads,
                       "Threads that evaluate the nodes (default 0: one per core)");
}

CResult CheckFrameJobUsage(const CFrameJobOptions& options, const char* patternOption,
                           CFrameJob& job) {
    if (const CResult parsed = ParseFrames(options.frames, job.first, job.last); !parsed) {
        return CResult::Fail("--frames: " + parsed.Message());
    }
    if (!IsTableFile(options.pattern)) {
        return CResult::Fail(std::string(patternOption) + ": \"" + options.pattern +
                             "\" must end in .csv or .json");
    }
    if (options.pattern.find('#') == std::string::npos && job.first != job.last) {
        return CResult::Fail(std::string(patternOption) + ": \"" + options.pattern +
                             "\" has no '#' for the frame number, but several frames are asked "
                             "for");
    }
    return CResult::Ok();
}

CResult ReadJobSettings(const std::string& command, const CFrameJobOptions& options,
                        CFrameJob& job) {
    if (const CResult read = ReadSettings(options.settingsFile, job.settings); !read) {
        return read;
    }
    for (const std::string& warning : SettingsWarnings(job.settings)) {
        PrintWarning(command, warning);
    }
    return CResult::Ok();
}

CResult OpenJobSession(const CFrameJobOptions& options, CFrameJob& job) {
    if (const CResult opened = CPluginSession::Open(options.plugin, job.session); !opened) {
        return opened;
    }
    // "Velpo Loaded" is the only message of a sound load.
    const CResult loaded = job.session->ShowLog();
    job.session->UseSettings(job.settings);
    return loaded;
}

std::string FrameFile(const std::string& pattern, int32_t frame) {
    std::string file;
    for (char c : pattern) {
        if (c == '#') {
            file += std::to_string(frame);
        } else {
            file += c;
        }
    }
    return file;
}

void PrintFrameDone(int32_t frame, uint64_t particles, const std::string& from,
                    const std::string& to) {
    COutput& out = StandardOutput();
    out.Write("frame " + std::to_string(frame) + ": " + std::to_string(particles) +
              " particles from " + from + " to " + to + "\n");
    // Shown as each frame ends; a failure is reported when the job ends.
    (void)out.Flush();
}

int RunFrameJob(const char* command, const char* verb, const CFrameJob& job,
                const std::function<CResult(int32_t frame, uint64_t& particles)>& work) {
    bool failed = false;
    uint64_t particles = 0;
    int32_t framesDone = 0;
    for (int64_t frame = job.first; frame <= job.last; ++frame) {
        uint64_t moved = 0;
        if (const CResult done = work(static_cast<int32_t>(frame), moved); !done) {
            PrintError(command, done.Message());
            failed = true;
            continue;
        }
        particles += moved;
        ++framesDone;
    }
    StandardOutput().Write(std::string(verb) + " " + std::to_string(framesDone) + " of " +
                           std::to_string(static_cast<int64_t>(job.last) - job.first + 1) +
                           " frames, " + std::to_string(particles) + " particles\n");
    return failed ? ExitFailed : ExitOk;
}

}  // namespace VelpoTools
