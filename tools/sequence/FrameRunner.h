// Frames of a sequence worked on in parallel, with results that do not
// depend on how many jobs there are.
//
// Each frame's work runs on one of `jobs` threads and writes what it has to
// say into its own CFrameReport; the reports are printed in frame order, each
// as soon as every earlier frame is done, so the output is the same with one
// job or twenty and a long run shows its results as it goes. The reports
// are shown through a console (tools/common/Console.h): out to its results, err to
// its errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "tools/common/Console.h"
#include "tools/sequence/Progress.h"

namespace VelpoTools {

struct CFrameReport {
    std::string out;  // for standard output
    std::string err;  // for standard error (errors and warnings)
    bool failed = false;
    uint64_t bytes = 0;  // input read, for the progress rate
};

// Jobs for --jobs 0: one per core.
uint32_t DefaultJobs();

// Calls work(i, report) for every i in [0, count) on `jobs` threads (0: one
// per core) and shows the reports on `console` in order of i. `progress` (may be null)
// counts the frames. Returns the number of reports marked failed. `work`
// must not throw; it may run on any thread, several at once.
// When the system refuses some of the threads (a limit on processes), the
// frames run on those it gave, the caller's at least, and a warning says so
// on the console, once per process; every frame is still worked on.
size_t RunFrames(size_t count, uint32_t jobs,
                 const std::function<void(size_t, CFrameReport&)>& work, CConsole& console,
                 CProgress* progress);

}  // namespace VelpoTools
