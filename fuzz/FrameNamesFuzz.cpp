// Fuzz target: the frame range and naming code that the sequence commands
// and the Python module share. The input is up to three lines: a frame
// range as --frames takes it (also tried as a --shard K/N), a "Path" or '#'
// pattern, and a "Step". Whatever the input, nothing may crash, hang or
// size memory by a count the input gives, and the answers must agree with
// what they promise:
//   - a range that parses runs forwards and reads back from its own text;
//   - two frames of a range share a cache file exactly when the check of
//     distinct files says so (by brute force over short ranges, by the
//     period of frame * step modulo 2^32 over long ones);
//   - every name ends in ".<frame * step modulo 2^32>.pdc";
//   - a '#' pattern names a frame with no '#' left in it.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "tests/support/Require.h"
#include "tools/common/CacheNames.h"
#include "tools/common/Numbers.h"
#include "tools/common/Settings.h"
#include "tools/sequence/Sequence.h"

namespace {

using VelpoTestSupport::Require;

// Longer ranges are checked against the period alone: naming each frame
// costs a path resolution.
constexpr int64_t NamedFrames = 2048;

std::string Line(std::string_view& text) {
    const size_t end = text.find('\n');
    const std::string line(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return line;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void CheckRange(int32_t first, int32_t last) {
    Require(first <= last);
    int32_t again = 0;
    int32_t againLast = 0;
    // Built by appends: g++ 12 warns falsely of a concatenation here at -O3.
    std::string written = std::to_string(first);
    written += '-';
    written += std::to_string(last);
    Require(static_cast<bool>(VelpoTools::ParseFrames(written, again, againLast)));
    Require(again == first && againLast == last);
}

void CheckNames(const VelpoTools::CSettings& settings, int32_t first, int32_t last) {
    const bool distinct =
        static_cast<bool>(VelpoTools::CheckDistinctCacheFiles(settings, first, last));
    const int64_t frames = int64_t{last} - first + 1;
    if (frames <= NamedFrames) {
        std::set<std::string> names;
        for (int64_t frame = first; frame <= last; ++frame) {
            const auto f = static_cast<int32_t>(frame);
            const std::string name = VelpoTools::CacheFile(settings, f);
            const uint32_t number = static_cast<uint32_t>(f) * static_cast<uint32_t>(settings.step);
            std::string suffix(1, '.');
            suffix += std::to_string(number);
            suffix += ".pdc";
            Require(EndsWith(name, suffix));
            names.insert(name);
        }
        Require(distinct == (static_cast<int64_t>(names.size()) == frames));
    } else {
        // Frames f and g share a file when (g - f) * step is 0 modulo 2^32.
        const auto step = static_cast<uint32_t>(settings.step);
        int64_t period = int64_t{1} << 32;
        for (uint32_t s = step; s != 0 && (s & 1) == 0; s >>= 1) {
            period >>= 1;
        }
        Require(distinct == (step != 0 && frames <= period));
    }
    (void)VelpoTools::FolderCutWarning(settings, first);
}

void CheckPattern(const std::string& pattern, int32_t frame) {
    const std::string file = VelpoTools::FrameFile(pattern, frame);
    Require(file.find('#') == std::string::npos);
    Require(pattern.find('#') != std::string::npos || file == pattern);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string range = Line(input);
    const std::string path = Line(input);
    const std::string stepText = Line(input);

    VelpoTools::CShard shard;
    if (VelpoTools::ParseShard(range, shard)) {
        Require(shard.index < shard.count);
    }
    int32_t first = 0;
    int32_t last = 0;
    if (!VelpoTools::ParseFrames(range, first, last)) {
        return 0;
    }
    CheckRange(first, last);
    VelpoTools::CSettings settings;
    settings.file = "fuzz";
    settings.path = path;
    if (VelpoTools::ParseInt32(stepText, settings.step) != VelpoTools::CParsed::Number) {
        settings.step = 1;
    }
    CheckNames(settings, first, last);
    CheckPattern(path, first);
    CheckPattern(path, last);
    return 0;
}
