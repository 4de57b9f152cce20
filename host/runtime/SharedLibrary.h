// The platform's loader of shared libraries: the one place the runtime
// touches it, so that everything above is the same on Linux and Windows.
#pragma once

#include <string>

#include "base/Result.h"

namespace VelpoHost {

using Velpo::CResult;

// An exported function of a library, as the loader hands it out; cast it to
// its real type before calling it.
using CLibrarySymbol = void (*)();

// Opens the library at path (a UTF-8 path; a bare file name is taken from
// the current folder, never searched for) into `library`. Fails with the
// loader's own explanation, leaving `library` null.
CResult OpenSharedLibrary(const std::string& path, void*& library);

// Null when the library does not export name.
CLibrarySymbol FindLibrarySymbol(void* library, const char* name);

void CloseSharedLibrary(void* library);

}  // namespace VelpoHost
