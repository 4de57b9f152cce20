#include "python/src/NamingBindings.h"

#include <pybind11/stl.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/common/CacheNames.h"
#include "tools/common/Numbers.h"
#include "tools/common/Settings.h"
#include "tools/sequence/SequenceOptions.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace VelpoPython {

namespace {

// Names and messages are bytes as the file system has them (UTF-8 where
// they are), which the Python side decodes with surrogateescape.
VelpoTools::CSettings Naming(const std::string& source, const py::bytes& path, int32_t step) {
    VelpoTools::CSettings settings;
    settings.file = source;
    settings.path = path;
    settings.step = step;
    return settings;
}

VelpoTools::CSettings Parsed(const std::string& source, const std::string& text) {
    VelpoTools::CSettings settings;
    if (const Velpo::CResult parsed = VelpoTools::ParseSettings(source, text, settings); !parsed) {
        throw py::value_error(parsed.Message());
    }
    return settings;
}

py::bytes FileName(const py::bytes& base, uint32_t frame, int32_t step) {
    return py::bytes(VelpoTools::CacheFile(Naming("", base, step), static_cast<int32_t>(frame)));
}

// "A-B" or "A", as --frames takes it, with the command's limit on its
// length.
std::pair<int32_t, int32_t> FrameRange(const std::string& text) {
    int32_t first = 0;
    int32_t last = 0;
    if (const Velpo::CResult parsed = VelpoTools::ParseFrames(text, first, last); !parsed) {
        throw py::value_error(parsed.Message());
    }
    const int64_t frames = static_cast<int64_t>(last) - first + 1;
    if (frames > VelpoTools::MaxSequenceFrames) {
        throw py::value_error(
            "\"" + text + "\" holds " + std::to_string(frames) + " frames, more than the " +
            std::to_string(VelpoTools::MaxSequenceFrames) + " one run takes; split the range");
    }
    return {first, last};
}

std::optional<py::bytes> DistinctFiles(const std::string& source, const py::bytes& path,
                                       int32_t step, int32_t first, int32_t last) {
    const Velpo::CResult distinct =
        VelpoTools::CheckDistinctCacheFiles(Naming(source, path, step), first, last);
    if (distinct) {
        return std::nullopt;
    }
    return py::bytes(source + ": " + distinct.Message());
}

std::optional<py::bytes> FolderCutWarning(const std::string& source, const py::bytes& path,
                                          int32_t step, int32_t first) {
    const std::string warning = VelpoTools::FolderCutWarning(Naming(source, path, step), first);
    if (warning.empty()) {
        return std::nullopt;
    }
    return py::bytes(warning);
}

std::vector<py::bytes> SettingsWarnings(const std::string& source, const std::string& text) {
    std::vector<py::bytes> warnings;
    for (const std::string& warning : VelpoTools::SettingsWarnings(Parsed(source, text))) {
        warnings.emplace_back(warning);
    }
    return warnings;
}

}  // namespace

void AddNaming(py::module_& module) {
    module.attr("MAX_SEQUENCE_FRAMES") = VelpoTools::MaxSequenceFrames;
    module.def("file_name", &FileName, "base"_a, "frame"_a, "step"_a,
               "The nodes' cache file name for `frame` (bytes in, bytes out).");
    module.def("frame_range", &FrameRange, "text"_a,
               "(first, last) of \"A-B\" or \"A\", at most MAX_SEQUENCE_FRAMES frames.");
    module.def("distinct_files", &DistinctFiles, "source"_a, "path"_a, "step"_a, "first"_a,
               "last"_a, "Why two frames of first..last share a cache file (bytes), or None.");
    module.def("folder_cut_warning", &FolderCutWarning, "source"_a, "path"_a, "step"_a, "first"_a,
               "The warning (bytes) when the naming cuts \"Path\" inside a folder, or None.");
    module.def("settings_warnings", &SettingsWarnings, "source"_a, "text"_a,
               "The warnings (bytes) of settings that name an attribute twice.");
}

}  // namespace VelpoPython
