// Opening a file for reading with a failure that says why: missing, a
// folder, not a regular file, or refused by the system.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>

#include "base/Result.h"
#include "pdc/CacheFile.h"

namespace VelpoTools {

using ::CFilePointer;

// Opens `file` in binary mode through the file layer's OpenInputFile: the
// name is opened once without waiting, and only a regular file is taken,
// so a named pipe with no writer, a device or a socket is refused at once
// rather than waited on or read without end. The failure says why ("not a
// regular file", "is a folder, not a file", "cannot be opened for reading:
// no such file") without the file's name, which the caller puts before it.
Velpo::CResult OpenForReading(const std::filesystem::path& file, CFilePointer& stream);

}  // namespace VelpoTools
