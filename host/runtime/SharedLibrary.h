// The platform's loader of shared libraries: the one place the runtime
// touches it, so that everything above is the same on Linux and Windows.
#pragma once

#include <string>

namespace VelpoHost {

// An exported function of a library, as the loader hands it out; cast it to
// its real type before calling it.
using CLibrarySymbol = void (*)();

// Opens the library at path (a UTF-8 path; a bare file name is taken from
// the current folder, never searched for). Null on failure, with reason set
// to the loader's own explanation.
void* OpenSharedLibrary(const std::string& path, std::string& reason);

// Null when the library does not export name.
CLibrarySymbol FindLibrarySymbol(void* library, const char* name);

void CloseSharedLibrary(void* library);

}  // namespace VelpoHost
