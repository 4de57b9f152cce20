#include "tools/common/Numbers.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace VelpoTools {

namespace {

// Whole numbers below this are written with all their digits, never with
// an exponent: 16 digits at most.
constexpr double WholeBelow = 1e16;

template <class T>
void AppendShortest(std::string& out, T value) {
    if (std::isnan(value)) {
        out += "NaN";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-Infinity" : "Infinity";
        return;
    }
    // The shortest text may be in exponent form ("3e+05" for 300000); a
    // whole number people count with (ids, particle counts) reads better
    // with all its digits, and is just as exact.
    const bool whole = std::fabs(value) < WholeBelow && value == std::trunc(value);
    char buffer[64];
    const std::to_chars_result result =
        whole ? std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::fixed)
              : std::to_chars(buffer, buffer + sizeof(buffer), value);
    out.append(buffer, result.ptr);
}

template <class T>
CParsed ParseWhole(std::string_view text, T& value) {
    if (text.empty()) {
        return CParsed::NotANumber;
    }
    T parsed{};
    const char* end = text.data() + text.size();
    const std::from_chars_result result = std::from_chars(text.data(), end, parsed);
    if (result.ptr != end) {
        return CParsed::NotANumber;
    }
    if (result.ec == std::errc::result_out_of_range) {
        return CParsed::OutOfRange;
    }
    if (result.ec != std::errc()) {
        return CParsed::NotANumber;
    }
    value = parsed;
    return CParsed::Number;
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
    char buffer[32];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    out.append(buffer, result.ptr);
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

CParsed ParseFloat(std::string_view text, float& value) {
    return ParseWhole(text, value);
}
CParsed ParseDouble(std::string_view text, double& value) {
    return ParseWhole(text, value);
}
CParsed ParseInt32(std::string_view text, int32_t& value) {
    return ParseWhole(text, value);
}

Velpo::CResult ParseFrames(const std::string& text, int32_t& first, int32_t& last) {
    const auto notARange = [&] {
        return Velpo::CResult::Fail("\"" + text +
                                    "\" is not a frame range: expected A-B, such as 1-48");
    };
    size_t at = 0;
    if (!ParseFrame(text, at, first)) {
        return notARange();
    }
    if (at == text.size()) {
        last = first;
        return Velpo::CResult::Ok();
    }
    if (text[at] != '-' || !ParseFrame(text, ++at, last) || at != text.size()) {
        return notARange();
    }
    if (first > last) {
        return Velpo::CResult::Fail("frame range \"" + text + "\" runs backwards");
    }
    return Velpo::CResult::Ok();
}

}  // namespace VelpoTools
