// Writes the PDC files that the C++ tests hold as fixtures into a folder,
// one file each, named for what it is: the seed corpus of the cache reader
// (seed-*.pdc) and the damaged and forged files of the file layer's tests
// (hostile-*.pdc). The Python tests read them to hold every reader, the
// nodes included, to the same answers.
//
// Usage: velpo_test_fixtures FOLDER
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "fuzz/PdcSeeds.h"
#include "tests/pdc/PdcHostileFiles.h"

namespace {

std::string FileName(const char* defect) {
    std::string name = "hostile-";
    for (const char* c = defect; *c; ++c) {
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '-';
    }
    return name + ".pdc";
}

bool WriteAll(const std::filesystem::path& folder) {
    const std::filesystem::path seeds = folder / "seeds";
    if (!PdcSeeds::WriteSeeds(seeds)) {
        return false;
    }
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(seeds, error)) {
        std::filesystem::rename(entry.path(), folder / ("seed-" + entry.path().filename().string()),
                                error);
        if (error) {
            return false;
        }
    }
    std::filesystem::remove(seeds, error);
    for (const PdcTest::HostileCase& hostile : PdcTest::HostileCases()) {
        if (!VelpoTestSupport::WriteBytes(folder / FileName(hostile.defect), hostile.file.Get())) {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    if (!WriteAll(argv[1])) {
        std::fprintf(stderr, "%s: cannot write the fixture files\n", argv[1]);
        return 1;
    }
    return 0;
}
