// Progress of a long job over frames, shown on the console's error stream
// while it runs:
//
//   velpo check: 120/480 frames, 41.5 frames/s, 1.2 GB/s, 9 s left
//
// Shown only when standard error is a terminal and the user did not ask for
// quiet; otherwise every call does nothing, so scripts and logs never see
// it. Safe to call from the threads that work on the frames; the console
// must outlive it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "tools/common/Console.h"

namespace VelpoTools {

// The pieces of the line: "41.5 MB/s" (B/s up to GB/s, one decimal) and
// "9 s", "1 min 05 s", "2 h 03 min" (rounded to whole seconds).
std::string ProgressRate(double bytesPerSecond);
std::string ProgressDuration(double seconds);

class CProgress {
public:
    // `shown`: whether to show anything at all (see ShownOnTerminal).
    CProgress(std::string command, uint64_t totalFrames, bool shown, CConsole& console);
    ~CProgress();
    CProgress(const CProgress&) = delete;
    CProgress& operator=(const CProgress&) = delete;

    // True when standard error is a terminal and `quiet` is false.
    static bool ShownOnTerminal(bool quiet);

    // One more frame done; `bytes` of input it read, for the rate.
    void FrameDone(uint64_t bytes = 0);

    // Writes `text` to the console without tearing the progress line: the
    // line is cleared first and drawn again after.
    void Write(CConsole::CStream stream, std::string_view text);

    // Clears the line for good; later calls draw nothing.
    void Finish();

    // The subcommand, as given: "check".
    const std::string& Command() const { return command_; }

private:
    void Draw(bool force);
    void Clear();

    std::mutex mutex_;
    std::string command_;
    uint64_t total_;
    uint64_t done_ = 0;
    uint64_t bytes_ = 0;
    bool shown_;
    CConsole& console_;
    size_t drawnLength_ = 0;  // of the line on screen, 0 when none
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

}  // namespace VelpoTools
