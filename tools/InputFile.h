// Opening a file for reading with a failure that says why: missing, a
// folder, not a regular file, or refused by the system.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>

#include "host/runtime/Result.h"

namespace VelpoTools {

struct CFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using CFilePointer = std::unique_ptr<std::FILE, CFileCloser>;

// Opens `file` in binary mode. The failure says why, such as "is a folder,
// not a file", without the file's name, which the caller puts before it.
// Pipes and devices open (their size is for the caller to need or not).
VelpoHost::CResult OpenForReading(const std::filesystem::path& file, CFilePointer& stream);

}  // namespace VelpoTools
