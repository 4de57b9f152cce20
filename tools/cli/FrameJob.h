// What `velpo export` and `velpo import` share: their options, the checks on
// them, the plug-in session with the settings object in place, and the loop
// that works on the frames, several at once (--jobs), a farm machine's share
// of them (--shard), with a progress line on a terminal.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <vector>

#include "base/Result.h"
#include "tools/common/Settings.h"
#include "tools/sequence/FrameRunner.h"
#include "tools/sequence/SequenceOptions.h"
#include "tools/session/PluginSession.h"

namespace CLI {
class App;
}

namespace VelpoTools {

struct CFrameJobOptions {
    std::string settingsFile;
    CSequenceOptions sequence;  // --frames (required), --jobs, --shard, --quiet
    std::string pattern;        // table file per frame, '#' standing for the frame number
    std::string plugin;
    uint32_t threads = 0;
    bool sync = false;  // --sync: every file written flushed to the disk
};

struct CFrameJob {
    int32_t first = 0;  // the whole range, as --frames gives it
    int32_t last = 0;
    std::vector<int32_t> frames;  // this machine's share of it, in order
    CSequenceChoice choice;
    CSettings settings;
    std::unique_ptr<CPluginSession> session;
};

void AddFrameJobOptions(CLI::App& command, CFrameJobOptions& options, const char* patternOption,
                        const char* patternHelp);

// The frame range, the shard and the table pattern: a failure is a usage
// error.
Velpo::CResult CheckFrameJobUsage(const CFrameJobOptions& options, const char* patternOption,
                                  CFrameJob& job);

// Reads the settings, printing a warning for each parameter that names an
// attribute twice (see SettingsWarnings). Fails naming the settings file.
Velpo::CResult ReadJobSettings(const std::string& command, const CFrameJobOptions& options,
                               CFrameJob& job);

// The files the job reads (the settings, --plugin, and `input` of each
// frame) against those it writes (`output` of each frame): fails, as a
// usage error, when an output is one of the inputs (through a link, a hard
// link or ".." too), or with `distinct` when two frames' outputs are one
// file. Nothing is written before.
Velpo::CResult CheckJobOutputs(const CFrameJobOptions& options, const CFrameJob& job,
                               const std::function<std::string(int32_t)>& input,
                               const std::function<std::string(int32_t)>& output, bool distinct);

// Loads the plug-in and puts the settings object in place; the files the
// command writes itself are flushed to the disk from then on with --sync.
Velpo::CResult OpenJobSession(const CFrameJobOptions& options, CFrameJob& job);

// The line of one frame done, for standard output.
std::string FrameDoneLine(int32_t frame, uint64_t particles, const std::string& from,
                          const std::string& to);

// Works on every frame of the job's share, --jobs at a time: `work` does one
// frame, sets how many particles it moved and adds what it has to say to
// the report; what the nodes log while it runs goes to the report too. A
// frame that fails is reported (naming the command) and the others are done
// all the same. Reports are shown in frame order, so the output is the same
// whatever the number of jobs. The job ends with the line "<verb> N of M
// frames, P particles" on standard output. ExitFailed when any frame
// failed, else ExitOk. `work` runs on several threads at once.
int RunFrameJob(const char* command, const char* verb, const CFrameJob& job,
                const std::function<Velpo::CResult(int32_t frame, uint64_t& particles,
                                                   CFrameReport& report)>& work);

// What the nodes logged during the frame, added to the report's errors;
// fails when any of it is an error.
Velpo::CResult FrameLog(CFrameReport& report);

}  // namespace VelpoTools
