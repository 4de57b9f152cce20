// Runs the built velpo command through the shell and collects what a user
// would see: the exit status, standard output and standard error.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/support/FileContents.h"
#include "tests/support/PdcBytes.h"
#include "tests/support/ScratchFolder.h"

namespace VelpoCommandTest {

struct CRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// `arguments` are passed as they stand (quote paths that may hold blanks).
CRun Velpo(const std::string& arguments);

// The same, with shell commands run first in the same shell (such as
// "ulimit -v 262144;", POSIX only) and standard output sent to `stdoutTo`
// when it is not empty (then CRun::out stays empty).
CRun VelpoIn(const std::string& shellPrefix, const std::string& arguments,
             const std::string& stdoutTo = "");

// True when this build runs under AddressSanitizer, which reserves far more
// address space than any `ulimit -v` a test would set.
bool UnderAddressSanitizer();

// From the test-support library (tests/support/): a scratch folder, whole
// files, and PDC bytes built by hand, big-endian, so that tests state
// exactly what is on disk.
using CScratch = VelpoTestSupport::CScratchFolder;
using CPdcBytes = VelpoTestSupport::CPdcBytesIn<std::string>;
using VelpoTestSupport::ReadFile;
using VelpoTestSupport::WriteFile;

}  // namespace VelpoCommandTest
