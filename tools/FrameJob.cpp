#include "tools/FrameJob.h"

#include <cstdio>

#include <CLI/CLI.hpp>

#include "pdc/FileName.h"
#include "tools/Command.h"
#include "tools/Numbers.h"
#include "tools/Tables.h"

namespace VelpoTools {

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

bool PrepareFrameJob(const std::string& command, const CFrameJobOptions& options,
                     const char* patternOption, CFrameJob& job) {
    std::string error;
    if (!ParseFrames(options.frames, job.first, job.last, error)) {
        throw CLI::ValidationError("--frames", error);
    }
    if (!IsTableFile(options.pattern)) {
        throw CLI::ValidationError(patternOption,
                                   "\"" + options.pattern + "\" must end in .csv or .json");
    }
    if (options.pattern.find('#') == std::string::npos && job.first != job.last) {
        throw CLI::ValidationError(
            patternOption, "\"" + options.pattern +
                               "\" has no '#' for the frame number, but several frames are asked "
                               "for");
    }
    if (!ReadSettings(options.settingsFile, job.settings, error)) {
        PrintError(command, error);
        return false;
    }
    job.session = CPluginSession::Open(options.plugin, error);
    if (!job.session) {
        PrintError(command, error);
        return false;
    }
    job.session->ShowLog();
    job.session->UseSettings(job.settings);
    return true;
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

std::string CacheFile(const CSettings& settings, int32_t frame) {
    return GetFileName(XSI::CString::FromUtf8(settings.path), static_cast<uint32_t>(frame),
                       settings.step)
        .ToUtf8();
}

void PrintFrameJobSummary(const char* verb, const CFrameJob& job, int32_t framesDone,
                          uint64_t particles) {
    std::printf("%s %d of %lld frames, %llu particles\n", verb, framesDone,
                static_cast<long long>(job.last) - job.first + 1,
                static_cast<unsigned long long>(particles));
}

}  // namespace VelpoTools
