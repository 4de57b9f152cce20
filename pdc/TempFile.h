// The temporary files that safe writes (SafeWrite.h) make beside the files
// they replace, and the ones a killed writer leaves behind.
//
// A temporary file is named ".velpo-<process ID>-<number>.tmp": hidden on
// POSIX systems, short (a long target name never pushes it past the length
// limit), and recognisable afterwards without any record of who made it.
// A writer that is killed between creating and renaming it leaves it where
// it is; nothing here deletes one. Names are UTF-8. Every function may be
// called from any thread, never logs and never throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A name for a new temporary file of this process, without a folder. Each
// call gives a number not given before in this process; the file's creation
// must still be exclusive, as a process on another machine may share the
// folder and the process ID. Empty when memory runs out.
std::string NextTempFileName();

// True when the last component of `name` has the form of a temporary file
// name (the folder part, if any, is not looked at).
//   ".velpo-4711-0.tmp" -> true     "cache.1.pdc" -> false
//   "out/.velpo-1-22.tmp" -> true   ".velpo-x-1.tmp" -> false
bool IsTempFileName(const std::string& name);

// A temporary file found in a folder.
struct CLeftoverFile {
    std::string name;        // within the folder, UTF-8
    uint32_t processID = 0;  // the writer that made it, from the name
    uint64_t size = 0;       // in bytes
    int64_t modified = 0;    // last change, seconds since 1970-01-01 UTC
};

// The regular files directly in `folder` whose names are temporary file
// names, sorted by name. A file whose writer is still at work is listed
// too; its process ID tells. False, with the system's reason (for example
// "No such file or directory"), when the folder cannot be read; entries that
// vanish while the folder is read are left out.
bool ListLeftoverFiles(const std::string& folder, std::vector<CLeftoverFile>& files,
                       std::string& reason);
