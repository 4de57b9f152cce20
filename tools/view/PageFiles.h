// The page that `velpo view` serves, built into the executable: one entry
// per file of tools/view/page/, generated at build time (EmbedPage.cmake).
// The bytes are constant and live as long as the program.
#pragma once

#include <cstddef>

namespace VelpoTools {

struct CPageFile {
    const char* path;       // as requested: "/" for index.html, "/main.js"
    const char* mediaType;  // the Content-Type it is served with
    const unsigned char* bytes;
    size_t size;
};

extern const CPageFile PageFiles[];
extern const size_t PageFileCount;

}  // namespace VelpoTools
