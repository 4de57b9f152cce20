// What `velpo export` and `velpo import` share: their options, the checks on
// them, and the plug-in session with the settings object in place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tools/PluginSession.h"
#include "tools/PortColumns.h"
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

// Usage errors (frames, pattern) are thrown as CLI11 validation errors; a bad
// settings file or plug-in is printed and gives false.
bool PrepareFrameJob(const std::string& command, const CFrameJobOptions& options,
                     const char* patternOption, CFrameJob& job);

// The closing line of a job: "<verb> N of M frames, P particles".
void PrintFrameJobSummary(const char* verb, const CFrameJob& job, int32_t framesDone,
                          uint64_t particles);

// The pattern with every '#' replaced by the frame number.
std::string FrameFile(const std::string& pattern, int32_t frame);

// The cache file the nodes use for a frame, named as they name it.
std::string CacheFile(const CSettings& settings, int32_t frame);

}  // namespace VelpoTools
