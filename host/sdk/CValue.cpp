#include "host/sdk/CValue.h"

#include <charconv>
#include <string>

// Doubles become integers by the file layer's rule, so that a value read
// from a settings object and one read from a cache agree.
#include "base/DoubleToInt32.h"

namespace XSI {

namespace {

// A text that holds a number, with blanks around it allowed; 0 otherwise.
double ParseNumber(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    size_t end = text.find_last_not_of(" \t");
    if (begin == std::string::npos) {
        return 0.0;
    }
    const char* first = text.data() + begin;
    const char* last = text.data() + end + 1;
    if (*first == '+') {
        ++first;
    }
    double value = 0.0;
    auto [ptr, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && ptr == last ? value : 0.0;
}

std::string ShortestText(double value) {
    char buffer[64];
    auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, ptr) : std::string();
}

}  // namespace

int32_t CValue::GetAsInt() const {
    switch (type_) {
        case Int:
            return int_;
        case Double:
            return DoubleToInt32(double_);
        case String:
            return DoubleToInt32(ParseNumber(text_.ToUtf8()));
        default:
            return 0;
    }
}

double CValue::GetAsDouble() const {
    switch (type_) {
        case Int:
            return int_;
        case Double:
            return double_;
        case String:
            return ParseNumber(text_.ToUtf8());
        default:
            return 0.0;
    }
}

CString CValue::GetAsText() const {
    switch (type_) {
        case Int:
            return CString::FromUtf8(std::to_string(int_));
        case Double:
            return CString::FromUtf8(ShortestText(double_));
        case String:
            return text_;
        default:
            return CString();
    }
}

bool CValue::operator==(const CValue& other) const {
    if (type_ != other.type_) {
        return false;
    }
    switch (type_) {
        case Empty:
            return true;
        case Int:
            return int_ == other.int_;
        case Double:
            return double_ == other.double_;
        case Pointer:
            return pointer_ == other.pointer_;
        case Vector3f:
            return vector_ == other.vector_;
        case String:
            return text_ == other.text_;
    }
    return false;
}

}  // namespace XSI
