// The naming of cache files and frame ranges under velpo.file_name,
// velpo.sequence and velpo.Host: the `velpo` command's own code
// (tools/common/CacheNames.h, tools/common/Settings.h, tools/sequence/SequenceOptions.h),
// so Python names, refuses and warns as the command does.
#pragma once

#include <pybind11/pybind11.h>

namespace VelpoPython {

// Adds file_name, frame_range, distinct_files, folder_cut_warning,
// settings_warnings and MAX_SEQUENCE_FRAMES to `module`.
void AddNaming(pybind11::module_& module);

}  // namespace VelpoPython
