#include "tools/preview/Legend.h"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>

#include "tools/preview/ColorMap.h"
#include "tools/preview/Lettering.h"

namespace VelpoTools {

namespace {

constexpr CRgb BandColour{34, 37, 46};

void DrawColourBar(CPicture& picture, const CRegion& bar, const CLegend& legend, int scale) {
    for (int x = 0; x < bar.width; ++x) {
        const double t = bar.width > 1 ? static_cast<double>(x) / (bar.width - 1) : 0.5;
        picture.FillRect(bar.x + x, bar.y, 1, bar.height, MapColour(t));
    }
    const double low = legend.colouring.low;
    const double high = legend.colouring.high;
    const int numbersY = bar.y + bar.height + scale * 2;
    const std::string lowText = ShortNumber(low);
    const std::string highText = ShortNumber(high);
    DrawText(picture, bar.x, numbersY, lowText, scale, TextColour);
    DrawText(picture, bar.x + bar.width - TextWidth(highText, scale), numbersY, highText, scale,
             TextColour);
    // The middle value when there is room between the ends.
    const std::string middle = ShortNumber(low / 2 + high / 2);
    const int middleWidth = TextWidth(middle, scale);
    const int middleX = bar.x + (bar.width - middleWidth) / 2;
    if (high > low && middleX > bar.x + TextWidth(lowText, scale) + 4 * scale &&
        middleX + middleWidth < bar.x + bar.width - TextWidth(highText, scale) - 4 * scale) {
        DrawText(picture, middleX, numbersY, middle, scale, TextColour);
        picture.FillRect(bar.x + bar.width / 2, bar.y + bar.height, 1, scale, TextColour);
    }
}

}  // namespace

int TextScale(int width, int height) {
    return std::max(1, std::min(width / 480, height / 270));
}

int LegendHeight(int scale) {
    // Padding, a line of text, the bar, its numbers, padding.
    return 44 * scale;
}

std::string ShortNumber(double value) {
    // A whole number (a count, an id) with all its digits up to seven:
    // 99999, not 1e+05.
    if (std::fabs(value) < 1e7 && value == std::trunc(value)) {
        return fmt::format("{:.0f}", value == 0.0 ? 0.0 : value);
    }
    return fmt::format("{:.4g}", value == 0.0 ? 0.0 : value);
}

void DrawLegend(CPicture& picture, const CRegion& band, const CLegend& legend, int scale) {
    picture.FillRect(band.x, band.y, band.width, band.height, BandColour);
    const int pad = 6 * scale;
    const int line = LineUnits * scale;
    const int top = band.y + pad;
    // The right half, when there is an attribute, holds its colour bar.
    const int barWidth = legend.attribute.empty() ? 0 : std::max(band.width * 2 / 5, 40 * scale);
    const int barX = band.x + band.width - pad - barWidth;
    const int leftWidth = (legend.attribute.empty() ? band.width : barX - band.x) - 3 * pad;
    DrawText(picture, band.x + pad, top, FitText(legend.title, leftWidth, scale), scale,
             TextColour);
    DrawText(picture, band.x + pad, top + line, FitText(legend.detail, leftWidth, scale), scale,
             TextColour);
    if (legend.attribute.empty()) {
        return;
    }
    std::string heading = legend.attribute;
    if (legend.nonFinite > 0) {
        heading += fmt::format("   {} NaN/inf", legend.nonFinite);
    }
    const int headingWidth = TextWidth(heading, scale);
    DrawText(picture, barX, top, FitText(heading, barWidth, scale), scale, TextColour);
    if (legend.nonFinite > 0 && headingWidth <= barWidth) {
        // A swatch of the grey those values are drawn in, after their count.
        picture.FillRect(barX + headingWidth + 3 * scale, top, 7 * scale, 7 * scale,
                         NonFiniteColour);
    }
    const CRegion bar{barX, top + line, barWidth, 6 * scale};
    if (legend.colouring.mode == CColouring::CMode::Map && legend.rangeKnown) {
        DrawColourBar(picture, bar, legend, scale);
    } else if (legend.colouring.mode == CColouring::CMode::Map) {
        DrawText(picture, barX, bar.y, "no finite value", scale, FaintColour);
    } else {
        DrawText(picture, barX, bar.y, "x, y, z as red, green, blue (0..1)", scale, TextColour);
    }
}

}  // namespace VelpoTools
