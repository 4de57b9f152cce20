#include "host/sdk/CString.h"

#include <cstring>

namespace XSI {

namespace {

constexpr bool kWide16 = sizeof(wchar_t) == 2;

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendWide(std::wstring& out, uint32_t cp) {
    if (kWide16 && cp >= 0x10000) {
        cp -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (cp >> 10));
        out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out += static_cast<wchar_t>(cp);
    }
}

// Length of the valid UTF-8 sequence at text[i], with its code point; 0 when
// the bytes there are not one (overlong forms and surrogates included).
size_t DecodeUtf8(const unsigned char* text, size_t size, size_t i, uint32_t& cp) {
    const unsigned char lead = text[i];
    size_t length;
    uint32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, cp = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, cp = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, cp = lead & 0x07u;
    } else {
        return 0;
    }
    if (size - i < length) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        if ((text[i + k] & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (text[i + k] & 0x3Fu);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return length;
}

}  // namespace

CString::CString(const wchar_t* text) : wide_(text ? text : L"") {
    SyncNarrow();
}

CString::CString(const std::wstring& text) : wide_(text) {
    SyncNarrow();
}

void CString::PutAsciiString(const char* text) {
    PutAsciiString(text, text ? std::strlen(text) : 0);
}

void CString::PutAsciiString(const char* text, size_t byteCount) {
    wide_.clear();
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; i < byteCount;) {
        uint32_t cp = 0;
        if (bytes[i] < 0x80) {
            cp = bytes[i++];
        } else if (size_t length = DecodeUtf8(bytes, byteCount, i, cp)) {
            i += length;
        } else {
            cp = bytes[i++];  // not UTF-8: the byte as a Latin-1 character
        }
        AppendWide(wide_, cp);
    }
    SyncNarrow();
}

CString CString::operator+(const CString& other) const {
    CString result(*this);
    result += other;
    return result;
}

CString& CString::operator+=(const CString& other) {
    wide_ += other.wide_;
    narrow_ += other.narrow_;
    return *this;
}

CString CString::FromUtf8(const std::string& text) {
    CString result;
    result.PutAsciiString(text.data(), text.size());
    return result;
}

void CString::SyncNarrow() {
    narrow_.clear();
    narrow_.reserve(wide_.size());
    for (size_t i = 0; i < wide_.size(); ++i) {
        uint32_t cp = static_cast<uint32_t>(wide_[i]);
        if (kWide16) {
            cp &= 0xFFFF;
            const bool high = cp >= 0xD800 && cp <= 0xDBFF;
            const uint32_t next = i + 1 < wide_.size() ? (wide_[i + 1] & 0xFFFFu) : 0;
            if (high && next >= 0xDC00 && next <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            }
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            cp = '?';  // no narrow form
        }
        AppendUtf8(narrow_, cp);
    }
}

}  // namespace XSI
