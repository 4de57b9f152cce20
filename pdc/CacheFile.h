// Opening files by the names the host and the command line give, on both
// platforms.
//
// Names are narrow text in UTF-8. On Windows they are widened and handed to
// the wide file functions, so a cache name that is not plain ASCII still
// names the same file for every reader and writer. Nothing here keeps state;
// every function may be called from any thread, never logs and never throws.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

// An open stream that closes itself.
struct CFileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using CFilePointer = std::unique_ptr<FILE, CFileCloser>;

// fopen, with the name taken as UTF-8 on every platform. Null on failure,
// with errno set by the C library. A mode that only reads ("r", "rb") opens
// through OpenInputFile, so a reader never waits on a pipe or a device.
FILE* OpenCacheFile(const std::string& name, const char* mode);

// Opens an existing file for binary reading, without ever waiting: the name
// is opened once, without blocking, and the opened file itself is looked
// at, so that nothing can put another file under the name in between.
// Only a regular file is taken; a named pipe (which would hold a plain open
// until some writer came), a device or a socket is refused. Null on
// failure, with `notRegular` true when the file exists but is not a regular
// file (errno is then EISDIR for a folder, 0 for anything else), and false
// with errno set by the system otherwise (ENOENT for a missing file).
FILE* OpenInputFile(const std::string& name, bool& notRegular);

#if defined(_WIN32)
// The UTF-16 form of a UTF-8 name for the wide Windows functions. Empty for
// an empty name, or one that is not valid UTF-8 or does not fit in memory.
std::wstring WidenFileName(const std::string& name);
#endif
