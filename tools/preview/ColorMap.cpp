#include "tools/preview/ColorMap.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace VelpoTools {

namespace {

// Nine evenly spaced stops of the map; between them colours are
// interpolated linearly, which keeps the lightness rising steadily.
constexpr std::array<CRgb, 9> Stops{{
    {68, 1, 84},
    {71, 44, 122},
    {59, 81, 139},
    {44, 113, 142},
    {33, 144, 141},
    {39, 173, 129},
    {92, 200, 99},
    {170, 220, 50},
    {253, 231, 37},
}};

uint8_t Between(uint8_t a, uint8_t b, double f) {
    return static_cast<uint8_t>(std::lround(a + (b - a) * f));
}

}  // namespace

CRgb MapColour(double t) {
    if (std::isnan(t)) {
        return NonFiniteColour;
    }
    const double at = std::clamp(t, 0.0, 1.0) * (Stops.size() - 1);
    const size_t stop = std::min(static_cast<size_t>(at), Stops.size() - 2);
    const double f = at - static_cast<double>(stop);
    const CRgb& a = Stops[stop];
    const CRgb& b = Stops[stop + 1];
    return {Between(a.r, b.r, f), Between(a.g, b.g, f), Between(a.b, b.b, f)};
}

double RangePosition(double value, double low, double high) {
    const double span = high - low;
    if (!(span > 0.0)) {
        return 0.5;
    }
    if (!std::isfinite(span)) {
        // A range wider than a double holds: halves do not overflow.
        return (value / 2 - low / 2) / (high / 2 - low / 2);
    }
    return (value - low) / span;
}

}  // namespace VelpoTools
