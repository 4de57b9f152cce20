#include "host/sdk/CStatus.h"

#include <atomic>
#include <cstdio>

#include "host/sdk/CString.h"

namespace XSI {

namespace {
std::atomic<uint32_t> failedAssertions{0};
}

void CStatus::AssertSucceeded(const CString& message) const {
    if (Succeeded()) {
        return;
    }
    failedAssertions.fetch_add(1, std::memory_order_relaxed);
    std::fprintf(stderr, "assertion failed: status %d%s%s\n", static_cast<int>(code_),
                 message.IsEmpty() ? "" : ": ", message.GetAsciiString());
}

void CStatus::AssertSucceeded() const {
    AssertSucceeded(CString());
}

uint32_t CStatus::FailedAssertionCount() {
    return failedAssertions.load();
}

}  // namespace XSI
