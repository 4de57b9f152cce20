// User-entered paths resolved as the host does.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "host/sdk/CUtils.h"

using XSI::CString;
using XSI::CUtils;

namespace {

void SetVariable(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value);
#else
    setenv(name, value, 1);
#endif
}

void UnsetVariable(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");
#else
    unsetenv(name);
#endif
}

std::string Resolve(const char* path) {
    return CUtils::ResolvePath(CString::FromUtf8(path)).ToUtf8();
}

class ResolvePath : public ::testing::Test {
protected:
    void SetUp() override {
        SetVariable("HOME", "/home/tester");
        SetVariable("VELPO_ROOT", "/data/caches");
        SetVariable("VELPO_SHOT", "sh010");
        UnsetVariable("VELPO_UNSET");
    }
};

TEST_F(ResolvePath, ExpandsHomeAndVariables) {
    struct Case {
        const char* path;
        const char* resolved;
    };
    const Case cases[] = {
        {"~", "/home/tester"},
        {"~/cache/p", "/home/tester/cache/p"},
        {"~other/p", "~other/p"},
        {"/a/~/b", "/a/~/b"},
        {"$VELPO_ROOT/p", "/data/caches/p"},
        {"${VELPO_ROOT}/p", "/data/caches/p"},
        {"${VELPO_ROOT}_${VELPO_SHOT}.pdc", "/data/caches_sh010.pdc"},
        {"$VELPO_ROOT.x", "/data/caches.x"},
        {"/c/$VELPO_SHOT/$VELPO_SHOT", "/c/sh010/sh010"},
        {"$VELPO_UNSET/p", "$VELPO_UNSET/p"},
        {"${VELPO_UNSET}/p", "${VELPO_UNSET}/p"},
        {"${VELPO_ROOT", "${VELPO_ROOT"},
        {"cost$", "cost$"},
        {"a$-b", "a$-b"},
        {"${}", "${}"},
        {"/plain/path.250.pdc", "/plain/path.250.pdc"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Resolve(c.path), c.resolved) << c.path;
    }
}

TEST_F(ResolvePath, KeepsNonAsciiText) {
    SetVariable("VELPO_SHOT", "pl\xC3\xA1n");
    EXPECT_EQ(Resolve("/caf\xC3\xA9/$VELPO_SHOT"), "/caf\xC3\xA9/pl\xC3\xA1n");
}

}  // namespace
