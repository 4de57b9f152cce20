// A vector array that finds no memory throws std::bad_alloc to its caller,
// whose handler catches it and finds the array as it was.
//
// On Windows this is the test that matters: the SDK is a DLL, and each module
// of the MinGW build has its own static copy of the compiler's unwinder, so a
// throw from inside the DLL could not reach this handler in the test program
// (the process would end in std::terminate). On Linux the address space is
// cut below what the request needs, for the test's duration.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>

#include "host/sdk/Math.h"

#ifndef _WIN32
#include <sys/resource.h>

#include <fstream>
#endif

namespace {

using XSI::MATH::CVector3;
using XSI::MATH::CVector3Array;

bool UnderSanitizer() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

// Elements the process cannot hold while the guard lives: 150,000,000
// vectors are 3.6 GB, beyond a 32-bit process; on a 64-bit system the guard
// caps the address space at what is mapped now plus 256 MB.
constexpr int32_t TooMany = 150000000;

class CAddressSpaceGuard {
public:
    CAddressSpaceGuard() {
#ifndef _WIN32
        std::ifstream statm("/proc/self/statm");
        uint64_t pages = 0;
        statm >> pages;
        getrlimit(RLIMIT_AS, &saved_);
        rlimit cut = saved_;
        cut.rlim_cur = static_cast<rlim_t>(pages * 4096u + (256u << 20));
        active_ = pages > 0 && setrlimit(RLIMIT_AS, &cut) == 0;
#endif
    }
    ~CAddressSpaceGuard() {
#ifndef _WIN32
        if (active_) {
            setrlimit(RLIMIT_AS, &saved_);
        }
#endif
    }
    CAddressSpaceGuard(const CAddressSpaceGuard&) = delete;
    CAddressSpaceGuard& operator=(const CAddressSpaceGuard&) = delete;

    bool Active() const {
#ifdef _WIN32
        return sizeof(void*) == 4;
#else
        return active_;
#endif
    }

private:
#ifndef _WIN32
    rlimit saved_{};
    bool active_ = false;
#endif
};

TEST(OutOfMemory, VectorArraysThrowToTheCallerAndStayAsTheyWere) {
    if (UnderSanitizer()) {
        GTEST_SKIP() << "the sanitizer's allocator ends the process instead of throwing";
    }
    CVector3Array grown(3);
    grown[2] = CVector3(1, 2, 3);
    CAddressSpaceGuard guard;
    if (!guard.Active()) {
        GTEST_SKIP() << "the address space cannot be cut here";
    }
    struct CCase {
        const char* what;
        void (*attempt)(CVector3Array&);
    };
    const CCase cases[] = {
        {"Resize", [](CVector3Array& array) { array.Resize(TooMany); }},
        {"construction", [](CVector3Array& array) { array = CVector3Array(TooMany); }},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.what);
        bool caught = false;
        try {
            c.attempt(grown);
        } catch (const std::bad_alloc&) {
            caught = true;
        }
        EXPECT_TRUE(caught);
        ASSERT_EQ(grown.GetCount(), 3);
        EXPECT_EQ(grown[2], CVector3(1, 2, 3));
    }
}

}  // namespace
