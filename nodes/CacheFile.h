// The file operations of the nodes that differ between platforms.
//
// Names are the host's narrow text (UTF-8). On Windows they are widened and
// handed to the wide file functions, so a cache name that is not plain ASCII
// still names the same file for every node.
#pragma once

#include <cstdio>
#include <string>

// fopen, with the name taken as UTF-8 on every platform. Null on failure.
FILE* OpenCacheFile(const std::string& name, const char* mode);

// Creates a new, empty file in the folder of `target` and opens it for
// binary writing. The name is one no other writer uses at the same time (the
// creation is exclusive); it is returned in `tempName`. Null when the folder
// cannot take a new file.
FILE* CreateTempFileBeside(const std::string& target, std::string& tempName);

// Moves `source` over `target` in one step, replacing any file there, so a
// reader of `target` sees either the earlier file or the new one, never a
// part. Both must be in the same folder. False when the move failed; then
// both files are as they were.
bool ReplaceByRename(const std::string& source, const std::string& target);

// Deletes a file; false when it could not be deleted.
bool RemoveTempFile(const std::string& name);
