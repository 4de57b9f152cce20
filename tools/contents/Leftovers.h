// The temporary files of interrupted writes in a folder: a writer that was
// killed between writing and renaming leaves one behind (pdc/TempFile.h).
// They are only shown, with their size and age, never deleted: the user
// decides, and a writer still at work owns its file.
#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "base/Result.h"
#include "pdc/TempFile.h"

namespace VelpoTools {

struct CLeftovers {
    std::string folder;
    std::vector<CLeftoverFile> files;
    int64_t now = 0;  // seconds since 1970 when they were listed, for their age
};

// Fails, naming the folder and the system's reason, when it cannot be read.
Velpo::CResult FindLeftovers(const std::string& folder, CLeftovers& leftovers);

// "3 h 12 min", "45 s": how long ago a file was last written.
std::string AgeText(int64_t seconds);

// One line per file, indented by two blanks:
//   .velpo-4711-0.tmp: 164000000 bytes, last written 3 h 12 min ago by process 4711
std::string LeftoverLines(const CLeftovers& leftovers);

// [{"file", "size", "modified", "ageSeconds", "processID"}, ...], the file
// with its folder.
nlohmann::ordered_json LeftoverJson(const CLeftovers& leftovers);

}  // namespace VelpoTools
