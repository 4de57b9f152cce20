#include "pdc/FileName.h"

#include <charconv>
#include <string>

#include "host/sdk/CUtils.h"

XSI::CString CutDots(XSI::CString path) {
    const std::string text = path.GetAsciiString();
    const size_t last = text.rfind('.');
    if (last == std::string::npos || last == 0) {
        return path;
    }
    const size_t secondToLast = text.rfind('.', last - 1);
    if (secondToLast == std::string::npos) {
        return path;
    }
    XSI::CString stem;
    stem.PutAsciiString(text.c_str(), secondToLast);
    return stem;
}

XSI::CString GetFileName(XSI::CString base, uint32_t frame, int32_t step) {
    const XSI::CString stem = CutDots(XSI::CUtils::ResolvePath(base));
    // Unsigned arithmetic: the product wraps modulo 2^32, negative frames
    // included. to_chars ignores the locale, so no digit grouping creeps in.
    const uint32_t number = frame * static_cast<uint32_t>(step);
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    std::string suffix = ".";
    suffix.append(digits, end);
    suffix.append(".pdc");
    XSI::CString suffixText;
    suffixText.PutAsciiString(suffix.c_str());
    return stem + suffixText;
}
