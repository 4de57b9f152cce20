#include "tools/Numbers.h"

#include <charconv>
#include <system_error>

namespace VelpoTools {

namespace {

template <class T>
void AppendShortest(std::string& out, T value) {
    char buffer[64];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    out.append(buffer, result.ptr);
}

template <class T>
bool ParseWhole(std::string_view text, T& value) {
    if (text.empty()) {
        return false;
    }
    T parsed{};
    const char* end = text.data() + text.size();
    const std::from_chars_result result = std::from_chars(text.data(), end, parsed);
    if (result.ec != std::errc() || result.ptr != end) {
        return false;
    }
    value = parsed;
    return true;
}

// One frame number at `at`, which may start with a minus sign.
bool ParseFrame(const std::string& text, size_t& at, int32_t& frame) {
    const char* begin = text.data() + at;
    const char* end = text.data() + text.size();
    const std::from_chars_result result = std::from_chars(begin, end, frame);
    if (result.ec != std::errc()) {
        return false;
    }
    at = static_cast<size_t>(result.ptr - text.data());
    return true;
}

}  // namespace

void AppendFloat(std::string& out, float value) {
    AppendShortest(out, value);
}
void AppendDouble(std::string& out, double value) {
    AppendShortest(out, value);
}
void AppendInt(std::string& out, int64_t value) {
    AppendShortest(out, value);
}

std::string FormatFloat(float value) {
    std::string out;
    AppendFloat(out, value);
    return out;
}

std::string FormatDouble(double value) {
    std::string out;
    AppendDouble(out, value);
    return out;
}

bool ParseFloat(std::string_view text, float& value) {
    return ParseWhole(text, value);
}
bool ParseInt32(std::string_view text, int32_t& value) {
    return ParseWhole(text, value);
}

bool ParseFrames(const std::string& text, int32_t& first, int32_t& last, std::string& error) {
    size_t at = 0;
    if (!ParseFrame(text, at, first)) {
        error = "\"" + text + "\" is not a frame range: expected A-B, such as 1-48";
        return false;
    }
    if (at == text.size()) {
        last = first;
        return true;
    }
    if (text[at] != '-' || !ParseFrame(text, ++at, last) || at != text.size()) {
        error = "\"" + text + "\" is not a frame range: expected A-B, such as 1-48";
        return false;
    }
    if (first > last) {
        error = "frame range \"" + text + "\" runs backwards";
        return false;
    }
    return true;
}

}  // namespace VelpoTools
