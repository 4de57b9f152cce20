#include "tools/preview/PreviewChoice.h"

#include <fmt/format.h>
#include <algorithm>

#include "tools/common/Text.h"

namespace VelpoTools {

using Velpo::CResult;

namespace {

// Digits only, no sign or blank; a side of more digits than any size has
// stops counting above MaxSide, which is all the checks need.
bool ParseSide(const std::string& text, int& side) {
    if (text.empty()) {
        return false;
    }
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = std::min(value * 10 + (c - '0'), MaxSide + 1);
    }
    side = value;
    return true;
}

}  // namespace

CResult ParseSize(const std::string& text, int& width, int& height) {
    const size_t x = text.find('x');
    int w = 0;
    int h = 0;
    if (x == std::string::npos || !ParseSide(text.substr(0, x), w) ||
        !ParseSide(text.substr(x + 1), h)) {
        return CResult::Fail(Quoted(text) + " is not WIDTHxHEIGHT (such as 960x540)");
    }
    if (w > MaxSide || h > MaxSide) {
        return CResult::Fail(
            fmt::format("{} is too big: each side at most {} pixels", Quoted(text), MaxSide));
    }
    if (w < MinSide || h < MinSide) {
        return CResult::Fail(
            fmt::format("{} is too small: each side at least {} pixels", Quoted(text), MinSide));
    }
    width = w;
    height = h;
    return CResult::Ok();
}

std::string AttributeLabel(const std::string& name, int components, bool rgb) {
    const std::string shown = Escaped(name);
    if (components == 3 && !rgb) {
        return shown + " (length)";
    }
    if (rgb) {
        return shown + " as RGB";
    }
    return shown;
}

}  // namespace VelpoTools
