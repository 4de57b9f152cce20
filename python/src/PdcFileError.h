// The failure of a file operation as the Python module raises it: a C++
// exception that the modules translate into velpo.PdcError, an OSError
// carrying the file name and the reason.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace VelpoPython {

struct CPdcFileError {
    std::string path;  // the name's bytes, as the system takes it
    std::string reason;
    int error = 0;  // errno, when the system gave one
};

// Installs the translation; called once by each module that throws.
void RegisterPdcFileError();

}  // namespace VelpoPython
