// Runs the built velpo command through the shell and collects what a user
// would see: the exit status, standard output and standard error.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

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

// A fresh, empty folder for one test, removed by the destructor.
class CScratch {
public:
    CScratch();
    ~CScratch();
    const std::filesystem::path& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, const std::string& text);

// PDC bytes built by hand, big-endian, so tests state exactly what is on disk.
class CPdcBytes {
public:
    CPdcBytes& Header(int32_t particleCount, int32_t attributeCount);
    CPdcBytes& Int(int32_t value);
    CPdcBytes& Double(double value);
    CPdcBytes& Name(const std::string& name);  // length, then the bytes
    CPdcBytes& Raw(const std::string& bytes);
    CPdcBytes& Doubles(std::initializer_list<double> values);
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
};

}  // namespace VelpoCommandTest
