// A bool that several threads may set and read at the same time.
//
// It reads and assigns like a plain bool (`flag = true; if (flag)`), and
// copies by value. Every access is a relaxed atomic operation: it orders
// nothing else, which is all a flag needs that only ever goes from false to
// true while threads run and is read after they have been joined.
#pragma once

#include <atomic>

class CRelaxedBool {
public:
    CRelaxedBool(bool value = false) noexcept : value_(value) {}
    CRelaxedBool(const CRelaxedBool& other) noexcept : value_(static_cast<bool>(other)) {}
    CRelaxedBool& operator=(const CRelaxedBool& other) noexcept {
        value_.store(static_cast<bool>(other), std::memory_order_relaxed);
        return *this;
    }
    CRelaxedBool& operator=(bool value) noexcept {
        value_.store(value, std::memory_order_relaxed);
        return *this;
    }
    operator bool() const noexcept { return value_.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> value_;
};
