#include "tools/cli/FrameJob.h"

#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <atomic>
#include <new>

#include "tools/cli/Command.h"
#include "tools/cli/StandardConsole.h"
#include "tools/common/Numbers.h"
#include "tools/common/Output.h"
#include "tools/common/OutputFile.h"
#include "tools/common/SameFile.h"
#include "tools/tables/TableWriter.h"

namespace VelpoTools {

using Velpo::CResult;

void AddFrameJobOptions(CLI::App& command, CFrameJobOptions& options, const char* patternOption,
                        const char* patternHelp) {
    command
        .add_option("--settings", options.settingsFile,
                    "JSON file with the settings object's parameters: \"Path\", \"Step\", "
                    "\"Float0\" ... \"Vector9\"")
        ->required();
    command.add_option(patternOption, options.pattern, patternHelp)->required();
    AddSequenceOptions(command, options.sequence);
    command.get_option("--frames")->required();
    command.add_option("--plugin", options.plugin,
                       "Plug-in library to load (default: the one next to velpo)");
    command.add_option("--threads", options.threads,
                       "Threads that evaluate the nodes (default 0: one per core)");
    command.add_flag("--sync", options.sync,
                     "Flush each file written to the disk before its frame is reported done, so "
                     "that it survives a power failure, not only a killed command (slower)");
}

CResult CheckFrameJobUsage(const CFrameJobOptions& options, const char* patternOption,
                           CFrameJob& job) {
    if (const CResult parsed = ParseSequenceOptions(options.sequence, job.choice); !parsed) {
        return parsed;
    }
    job.first = job.choice.range->first;
    job.last = job.choice.range->last;
    job.frames.clear();
    const int64_t frames = job.last >= job.first ? int64_t{job.last} - job.first + 1 : 0;
    for (const uint64_t i : ShardPositions(static_cast<uint64_t>(frames), job.choice.shard)) {
        job.frames.push_back(static_cast<int32_t>(job.first + static_cast<int64_t>(i)));
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

CResult CheckJobOutputs(const CFrameJobOptions& options, const CFrameJob& job,
                        const std::function<std::string(int32_t)>& input,
                        const std::function<std::string(int32_t)>& output, bool distinct) {
    CInputFiles inputs;
    inputs.Add(options.settingsFile);
    if (!options.plugin.empty()) {
        inputs.Add(options.plugin);
    }
    for (const int32_t frame : job.frames) {
        inputs.Add(input(frame));
    }
    std::vector<std::pair<int32_t, std::string>> outputs;
    for (const int32_t frame : job.frames) {
        std::string file = output(frame);
        if (CResult apart = inputs.CheckOutput(file); !apart) {
            return apart;
        }
        if (distinct) {
            outputs.emplace_back(frame, std::move(file));
        }
    }
    return CheckDistinctOutputs(outputs);
}

CResult OpenJobSession(const CFrameJobOptions& options, CFrameJob& job) {
    SetOutputDurability(options.sync ? CDurability::Disk : CDurability::Process);
    if (const CResult opened = CPluginSession::Open(options.plugin, job.session); !opened) {
        return opened;
    }
    // "Velpo Loaded" is the only message of a sound load.
    const CResult loaded = job.session->ShowLog(StandardConsole());
    job.session->UseSettings(job.settings);
    return loaded;
}

std::string FrameDoneLine(int32_t frame, uint64_t particles, const std::string& from,
                          const std::string& to) {
    return fmt::format("frame {}: {} particles from {} to {}\n", frame, particles, from, to);
}

CResult FrameLog(CFrameReport& report) {
    VelpoHost::CLogCapture* log = VelpoHost::CLogCapture::Current();
    return CPluginSession::LogText(log ? log->Take() : VelpoHost::CLog::Instance().Take(),
                                   report.err);
}

int RunFrameJob(
    const char* command, const char* verb, const CFrameJob& job,
    const std::function<CResult(int32_t frame, uint64_t& particles, CFrameReport& report)>& work) {
    std::atomic<uint64_t> particles = 0;
    std::atomic<int32_t> framesDone = 0;
    CProgress progress(command, job.frames.size(), job.choice.progress, StandardConsole());
    RunFrames(
        job.frames.size(), job.choice.jobs,
        [&](size_t index, CFrameReport& report) {
            // Whatever the nodes log for this frame, from whichever thread
            // evaluates them, lands in this frame's report.
            VelpoHost::CLogCapture log;
            uint64_t moved = 0;
            CResult done = CResult::Ok();
            // Out of memory fails this frame, not the others nor the
            // process: the work may run on a thread of its own, where an
            // exception would end everything.
            try {
                done = work(job.frames[index], moved, report);
            } catch (const std::bad_alloc&) {
                done = CResult::Fail(fmt::format("frame {}: out of memory", job.frames[index]));
            }
            if (!done) {
                report.err += ErrorLine(command, done.Message());
                report.failed = true;
                return;
            }
            particles += moved;
            ++framesDone;
        },
        StandardConsole(), &progress);
    progress.Finish();
    const bool failed = framesDone.load() != static_cast<int32_t>(job.frames.size());
    StandardOutput().Write(fmt::format("{} {} of {} frames, {} particles\n", verb,
                                       framesDone.load(), job.frames.size(), particles.load()));
    return failed ? ExitFailed : ExitOk;
}

}  // namespace VelpoTools
