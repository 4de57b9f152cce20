// Writes a small seed corpus for the cache reader (see PdcSeeds.h).
//
// Usage: pdc_fuzz_seeds FOLDER
#include <cstdio>

#include "fuzz/PdcSeeds.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    if (!PdcSeeds::WriteSeeds(argv[1])) {
        std::fprintf(stderr, "%s: cannot write the seed files\n", argv[1]);
        return 1;
    }
    return 0;
}
