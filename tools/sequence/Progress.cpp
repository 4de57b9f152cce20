#include "tools/sequence/Progress.h"

#include <fmt/format.h>
#include <algorithm>
#include <cstdio>

#include "tools/common/Platform.h"

namespace VelpoTools {

namespace {

// Redrawn at most this often: a terminal drawn faster only flickers.
constexpr std::chrono::milliseconds DrawInterval{100};

}  // namespace

std::string ProgressRate(double bytesPerSecond) {
    const char* units[] = {"B/s", "kB/s", "MB/s", "GB/s"};
    size_t unit = 0;
    while (bytesPerSecond >= 1000.0 && unit + 1 < std::size(units)) {
        bytesPerSecond /= 1000.0;
        ++unit;
    }
    return fmt::format("{:.1f} {}", bytesPerSecond, units[unit]);
}

std::string ProgressDuration(double seconds) {
    const long long whole = static_cast<long long>(seconds + 0.5);
    if (whole >= 3600) {
        return fmt::format("{} h {:02} min", whole / 3600, whole / 60 % 60);
    }
    if (whole >= 60) {
        return fmt::format("{} min {:02} s", whole / 60, whole % 60);
    }
    return fmt::format("{} s", whole);
}

CProgress::CProgress(std::string command, uint64_t totalFrames, bool shown, CConsole& console)
    : command_(std::move(command)),
      total_(totalFrames),
      shown_(shown),
      console_(console),
      start_(std::chrono::steady_clock::now()),
      lastDraw_(start_ - DrawInterval) {}

CProgress::~CProgress() {
    Finish();
}

bool CProgress::ShownOnTerminal(bool quiet) {
    return !quiet && IsTerminal(stderr);
}

void CProgress::FrameDone(uint64_t bytes) {
    std::lock_guard lock(mutex_);
    ++done_;
    bytes_ += bytes;
    Draw(done_ == total_);
}

void CProgress::Write(CConsole::CStream stream, std::string_view text) {
    std::lock_guard lock(mutex_);
    Clear();
    console_.Write(stream, text);
    Draw(true);
}

void CProgress::Finish() {
    std::lock_guard lock(mutex_);
    Clear();
    shown_ = false;
}

void CProgress::Draw(bool force) {
    if (!shown_) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDraw_ < DrawInterval) {
        return;
    }
    lastDraw_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::string line = fmt::format("velpo {}: {}/{} frames", command_, done_, total_);
    if (done_ > 0 && seconds > 0) {
        line += fmt::format(", {:.1f} frames/s", done_ / seconds);
        if (bytes_ > 0) {
            line += ", " + ProgressRate(bytes_ / seconds);
        }
        if (done_ < total_) {
            line += ", " + ProgressDuration(seconds / done_ * (total_ - done_)) + " left";
        }
    }
    // Blanks over the rest of the last line, which may have been longer:
    // plain text, so that every terminal, Windows consoles too, shows it.
    const size_t length = line.size();
    line.resize(std::max(length, drawnLength_), ' ');
    line.insert(line.begin(), '\r');
    console_.Write(CConsole::CStream::Err, line);
    drawnLength_ = length;
}

void CProgress::Clear() {
    if (drawnLength_ > 0) {
        std::string blank(drawnLength_ + 2, ' ');
        blank.front() = '\r';
        blank.back() = '\r';
        console_.Write(CConsole::CStream::Err, blank);
        drawnLength_ = 0;
    }
}

}  // namespace VelpoTools
