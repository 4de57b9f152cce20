// What `velpo export` and `velpo import` share: their options, the checks on
// them, and the plug-in session with the settings object in place.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/runtime/Result.h"
#include "tools/PluginSession.h"
#include "tools/Settings.h"

namespace CLI {
class App;
}

namespace VelpoTools {

struct CFrameJobOptions {
    std::string settingsFile;
    std::string frames;
    std::string pattern;  // table file per frame, '#' standing for the frame number
    std::string plugin;
    uint32_t threads = 0;
};

struct CFrameJob {
    int32_t first = 0;
    int32_t last = 0;
    CSettings settings;
    std::unique_ptr<CPluginSession> session;
};

void AddFrameJobOptions(CLI::App& command, CFrameJobOptions& options, const char* patternOption,
                        const char* patternHelp);

// The frame range and the table pattern: a failure is a usage error.
VelpoHost::CResult CheckFrameJobUsage(const CFrameJobOptions& options, const char* patternOption,
                                      CFrameJob& job);

// Reads the settings, printing a warning for each parameter that names an
// attribute twice (see SettingsWarnings). Fails naming the settings file.
VelpoHost::CResult ReadJobSettings(const std::string& command, const CFrameJobOptions& options,
                                   CFrameJob& job);

// Loads the plug-in and puts the settings object in place.
VelpoHost::CResult OpenJobSession(const CFrameJobOptions& options, CFrameJob& job);

// The line of one frame done, to standard output.
void PrintFrameDone(int32_t frame, uint64_t particles, const std::string& from,
                    const std::string& to);

// Works on every frame of the job in order: `work` does one frame and sets
// how many particles it moved. A frame that fails is reported (naming the
// command) and the next one is done all the same; the job ends with the
// line "<verb> N of M frames, P particles" on standard output. ExitFailed
// when any frame failed, else ExitOk.
int RunFrameJob(const char* command, const char* verb, const CFrameJob& job,
                const std::function<VelpoHost::CResult(int32_t frame, uint64_t& particles)>& work);

// The pattern with every '#' replaced by the frame number.
std::string FrameFile(const std::string& pattern, int32_t frame);

}  // namespace VelpoTools
