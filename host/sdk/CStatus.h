// Result code of every SDK call and every plug-in callback.
#pragma once

#include <cstdint>

#include "host/sdk/Export.h"

namespace XSI {

class CString;

class XSI_API CStatus {
public:
    enum Code : int32_t {
        OK = 0,
        False = 1,
        Fail = -2147467259,             // 0x80004005
        InvalidArgument = -2147024809,  // 0x80070057
        Unexpected = -2147418113,       // 0x8000FFFF
    };

    CStatus(Code code = OK) : code_(code) {}

    Code GetCode() const { return code_; }
    bool Succeeded() const { return code_ == OK || code_ == False; }
    bool operator==(const CStatus& other) const { return code_ == other.code_; }
    bool operator==(Code code) const { return code_ == code; }
    bool operator!=(Code code) const { return code_ != code; }

    // Returns normally whatever the status: a failure is reported on stderr
    // and counted, so a test can see that a registration step failed.
    void AssertSucceeded(const CString& message) const;
    void AssertSucceeded() const;

    // Number of failed statuses handed to AssertSucceeded in this process.
    static uint32_t FailedAssertionCount();

private:
    Code code_;
};

}  // namespace XSI
