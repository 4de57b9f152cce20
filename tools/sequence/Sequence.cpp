#include "tools/sequence/Sequence.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <system_error>

#include "tools/common/CacheNames.h"
#include "tools/common/Settings.h"

namespace VelpoTools {

using Velpo::CResult;

namespace {

enum class CMatch { No, Frame, TooLarge };

// The frame a file name stands for under a pattern, where '#' matches an
// optional minus sign and one or more digits: No when the name does not fit,
// TooLarge when it does but its number is beyond 32 bits.
CMatch MatchFrame(const std::string& pattern, const std::string& name, int32_t& frame) {
    const size_t hash = pattern.find('#');
    const std::string before = pattern.substr(0, hash);
    const std::string after = pattern.substr(hash + 1);
    if (name.size() <= before.size() + after.size() ||
        name.compare(0, before.size(), before) != 0 ||
        name.compare(name.size() - after.size(), after.size(), after) != 0) {
        return CMatch::No;
    }
    const char* begin = name.data() + before.size();
    const char* end = name.data() + name.size() - after.size();
    if (*begin == '+') {
        return CMatch::No;
    }
    const std::from_chars_result parsed = std::from_chars(begin, end, frame);
    if (parsed.ptr != end) {
        return CMatch::No;
    }
    if (parsed.ec == std::errc::result_out_of_range) {
        return CMatch::TooLarge;
    }
    return parsed.ec == std::errc() ? CMatch::Frame : CMatch::No;
}

}  // namespace

CResult SettingsSequence(const std::string& settingsFile, const CFrameRange& range,
                         std::vector<CSequenceFrame>& frames) {
    CSettings settings;
    if (CResult read = ReadSettings(settingsFile, settings); !read) {
        return read;
    }
    return SettingsSequence(settings, range, frames);
}

CResult SettingsSequence(const CSettings& settings, const CFrameRange& range,
                         std::vector<CSequenceFrame>& frames) {
    const std::string& settingsFile = settings.file;
    frames.clear();
    std::map<std::string, int32_t> named;
    for (int64_t frame = range.first; frame <= range.last; ++frame) {
        const int32_t f = static_cast<int32_t>(frame);
        std::string file = CacheFile(settings, f);
        const auto [earlier, added] = named.emplace(file, f);
        if (!added) {
            return CResult::Fail(settingsFile + ": frames " + std::to_string(earlier->second) +
                                 " and " + std::to_string(f) + " are both named " + file +
                                 " (\"Step\" " + std::to_string(settings.step) + ")");
        }
        frames.push_back({f, std::move(file)});
    }
    return CResult::Ok();
}

namespace {

// A pattern without '#': one file, standing for one frame.
CResult SingleFileSequence(const std::string& pattern, const std::optional<CFrameRange>& range,
                           std::vector<CSequenceFrame>& frames) {
    if (range && range->first != range->last) {
        return CResult::Fail("\"" + pattern +
                             "\" has no '#' for the frame number, but several frames are "
                             "asked for");
    }
    frames.push_back({range ? range->first : 0, pattern});
    return CResult::Ok();
}

// The file name part of a pattern to look for in its folder: one '#', in
// the file name.
CResult CheckFoundPattern(const std::string& pattern, const std::string& namePattern) {
    if (namePattern.find('#') == std::string::npos) {
        return CResult::Fail("\"" + pattern +
                             "\": '#' may stand only in the file name when no --frames are given");
    }
    if (std::count(namePattern.begin(), namePattern.end(), '#') > 1) {
        return CResult::Fail("\"" + pattern +
                             "\" has more than one '#'; give --frames to name the files");
    }
    return CResult::Ok();
}

// The files of the folder whose names fit the pattern, by frame.
CResult FindFrames(const std::string& pattern, const std::filesystem::path& path,
                   std::map<int32_t, std::string>& found, std::vector<std::string>* unnumbered) {
    const std::string namePattern = path.filename().string();
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    std::error_code code;
    std::filesystem::directory_iterator entries(folder, code);
    if (code) {
        return CResult::Fail(folder.string() + ": cannot look for the files of \"" + pattern +
                             "\" there: " + code.message());
    }
    for (const std::filesystem::directory_entry& entry : entries) {
        int32_t frame = 0;
        const std::string name = entry.path().filename().string();
        const CMatch match = MatchFrame(namePattern, name, frame);
        if (match == CMatch::No) {
            continue;
        }
        const std::string file = path.has_parent_path() ? (folder / name).string() : name;
        if (match == CMatch::TooLarge) {
            if (unnumbered) {
                unnumbered->push_back(file);
            }
            continue;
        }
        const auto [earlier, added] = found.emplace(frame, file);
        if (!added) {
            // "p.7.pdc" and "p.07.pdc" are one frame; the sequence is ambiguous.
            return CResult::Fail(earlier->second + " and " + file + " are both frame " +
                                 std::to_string(frame) + " of \"" + pattern + "\"");
        }
    }
    return CResult::Ok();
}

}  // namespace

CResult PatternSequence(const std::string& pattern, const std::optional<CFrameRange>& range,
                        std::vector<CSequenceFrame>& frames, std::vector<std::string>* unnumbered) {
    frames.clear();
    if (pattern.find('#') == std::string::npos) {
        return SingleFileSequence(pattern, range, frames);
    }
    if (range) {
        for (int64_t frame = range->first; frame <= range->last; ++frame) {
            const int32_t f = static_cast<int32_t>(frame);
            frames.push_back({f, FrameFile(pattern, f)});
        }
        return CResult::Ok();
    }
    const std::filesystem::path path(pattern);
    const std::string namePattern = path.filename().string();
    if (CResult fits = CheckFoundPattern(pattern, namePattern); !fits) {
        return fits;
    }
    std::map<int32_t, std::string> found;
    if (CResult looked = FindFrames(pattern, path, found, unnumbered); !looked) {
        return looked;
    }
    for (auto& [frame, file] : found) {
        frames.push_back({frame, std::move(file)});
    }
    if (frames.empty()) {
        const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
        return CResult::Fail(folder.string() + ": no file fits \"" + namePattern + "\"");
    }
    return CResult::Ok();
}

std::string UnnumberedWarning(const std::string& file, const std::string& pattern) {
    return file + " fits \"" + pattern +
           "\" but its number is beyond the frame numbers (-2147483648 to 2147483647); "
           "left out";
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

CResult ParseShard(const std::string& text, CShard& shard) {
    const size_t slash = text.find('/');
    auto parse = [](std::string_view part, uint32_t& value) {
        const char* end = part.data() + part.size();
        const std::from_chars_result parsed = std::from_chars(part.data(), end, value);
        return !part.empty() && parsed.ec == std::errc() && parsed.ptr == end;
    };
    CShard parsed;
    const std::string_view all(text);
    if (slash == std::string::npos || !parse(all.substr(0, slash), parsed.index) ||
        !parse(all.substr(slash + 1), parsed.count) || parsed.count == 0 ||
        parsed.index >= parsed.count) {
        return CResult::Fail("\"" + text +
                             "\" is not a shard: expected K/N with 0 <= K < N, such as 0/4");
    }
    shard = parsed;
    return CResult::Ok();
}

std::vector<uint64_t> ShardPositions(uint64_t items, const CShard& shard) {
    std::vector<uint64_t> positions;
    for (uint64_t i = shard.index; i < items; i += shard.count) {
        positions.push_back(i);
    }
    return positions;
}

std::vector<CSequenceFrame> TakeShard(const std::vector<CSequenceFrame>& frames,
                                      const CShard& shard) {
    std::vector<CSequenceFrame> taken;
    for (const uint64_t i : ShardPositions(frames.size(), shard)) {
        taken.push_back(frames[static_cast<size_t>(i)]);
    }
    return taken;
}

}  // namespace VelpoTools
