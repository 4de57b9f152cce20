// The host's wide string.
//
// Text is held wide (wchar_t: 16 bits on Windows, 32 on Linux) together with
// its narrow form, kept in step on every change so that GetAsciiString is a
// plain read and safe from several threads on one const string.
//
// The narrow form is UTF-8. PutAsciiString decodes UTF-8 and takes any byte
// that is not part of a valid sequence as a Latin-1 character, so every byte
// string converts to some text. Only 7-bit text has as many narrow bytes as
// characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/sdk/Export.h"

namespace XSI {

class XSI_API CString {
public:
    CString() = default;
    CString(const wchar_t* text);
    CString(const std::wstring& text);
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;

    // Narrow form; valid until the string changes.
    const char* GetAsciiString() const { return narrow_.c_str(); }
    // Replaces the text with the decoded form of a narrow string (null: empty).
    void PutAsciiString(const char* text);
    void PutAsciiString(const char* text, size_t byteCount);

    // Number of wide characters.
    uint32_t Length() const { return static_cast<uint32_t>(wide_.size()); }
    bool IsEmpty() const { return wide_.empty(); }
    const wchar_t* GetWideString() const { return wide_.c_str(); }

    bool operator==(const CString& other) const { return wide_ == other.wide_; }
    bool operator!=(const CString& other) const { return wide_ != other.wide_; }
    CString operator+(const CString& other) const;
    CString& operator+=(const CString& other);

    // Narrow-string helpers for our own code (tools, runtime, tests).
    static CString FromUtf8(const std::string& text);
    std::string ToUtf8() const { return narrow_; }

private:
    void SyncNarrow();

    std::wstring wide_;
    std::string narrow_;
};

}  // namespace XSI
