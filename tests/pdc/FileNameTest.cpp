// Cache file names from a base path, a frame and a step.
#include <gtest/gtest.h>

#include <cstdlib>

#include "pdc/FileName.h"

namespace {

XSI::CString Text(const char* utf8) {
    return XSI::CString::FromUtf8(utf8);
}

struct NameCase {
    const char* base;
    uint32_t frame;
    int32_t step;
    const char* stem;
    const char* result;
};

const NameCase kNameCases[] = {
    {"/cache/particles.250.pdc", 1, 250, "/cache/particles", "/cache/particles.250.pdc"},
    {"/cache/particles.250.pdc", 120, 250, "/cache/particles", "/cache/particles.30000.pdc"},
    {"/cache/particles", 2, 250, "/cache/particles", "/cache/particles.500.pdc"},
    {"/cache/particles.pdc", 1, 250, "/cache/particles.pdc", "/cache/particles.pdc.250.pdc"},
    {"/cache/run.2/particles", 1, 250, "/cache/run.2/particles", "/cache/run.2/particles.250.pdc"},
    {"/cache/run.2/particles.pdc", 1, 250, "/cache/run", "/cache/run.250.pdc"},
    {"/cache/run.2/particles.7.pdc", 3, 1, "/cache/run.2/particles",
     "/cache/run.2/particles.3.pdc"},
    {"/cache/particles", 0, 250, "/cache/particles", "/cache/particles.0.pdc"},
    {"/cache/particles", 7, 0, "/cache/particles", "/cache/particles.0.pdc"},
    {"/cache/particles", static_cast<uint32_t>(-1), 250, "/cache/particles",
     "/cache/particles.4294967046.pdc"},
    {"/cache/particles", static_cast<uint32_t>(-5), 250, "/cache/particles",
     "/cache/particles.4294966046.pdc"},
    // Beyond the worked examples: no fixed width, a negative step, paths
    // whose dots sit at the very start.
    {"p", 5, 1, "p", "p.5.pdc"},
    {"p", 500, 1, "p", "p.500.pdc"},
    {"p", 3, -1, "p", "p.4294967293.pdc"},
    {"p", 65536, 65536, "p", "p.0.pdc"},
    {".pdc", 1, 250, ".pdc", ".pdc.250.pdc"},
    {".particles.pdc", 1, 250, "", ".250.pdc"},
    {"", 1, 250, "", ".250.pdc"},
    {"a..b", 1, 1, "a", "a.1.pdc"},
};

TEST(FileName, WorkedExamples) {
    for (const NameCase& c : kNameCases) {
        SCOPED_TRACE(c.base);
        EXPECT_EQ(CutDots(Text(c.base)).ToUtf8(), c.stem);
        EXPECT_EQ(GetFileName(Text(c.base), c.frame, c.step).ToUtf8(), c.result);
    }
}

TEST(FileName, CutDotsKeepsNonAsciiStems) {
    EXPECT_EQ(CutDots(Text("/caché/été.12.pdc")).ToUtf8(), "/caché/été");
    EXPECT_EQ(GetFileName(Text("/caché/été.12.pdc"), 2, 3).ToUtf8(), "/caché/été.6.pdc");
}

TEST(FileName, BaseIsResolvedFirst) {
#ifdef _WIN32
    _putenv_s("VELPO_TEST_CACHE", "/tmp/run.3");
#else
    setenv("VELPO_TEST_CACHE", "/tmp/run.3", 1);
#endif
    // The variable's dot counts once it is expanded.
    EXPECT_EQ(GetFileName(Text("${VELPO_TEST_CACHE}/fluid.pdc"), 2, 10).ToUtf8(),
              "/tmp/run.20.pdc");
    EXPECT_EQ(GetFileName(Text("$VELPO_TEST_CACHE/fluid"), 2, 10).ToUtf8(),
              "/tmp/run.3/fluid.20.pdc");
}

}  // namespace
