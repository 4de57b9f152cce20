// The band under a preview that says what it shows: the file (or pattern)
// and particle count on the left; on the right the attribute with its range
// as a colour bar with numbers, and how many values were NaN or infinite
// (drawn grey).
#pragma once

#include <cstdint>
#include <string>

#include "tools/preview/Picture.h"
#include "tools/preview/PointRenderer.h"

namespace VelpoTools {

struct CLegend {
    std::string title;        // the file, or the pattern of a sequence
    std::string detail;       // the particle count and anything not drawn
    std::string attribute;    // the --color attribute as shown; empty for none
    CColouring colouring;     // its mode and range
    bool rangeKnown = false;  // a finite value was found
    int64_t nonFinite = 0;    // values drawn grey
};

// Text scale for a picture: readable at 960x540 and grown with the picture.
int TextScale(int width, int height);

// Height of the band at a text scale.
int LegendHeight(int scale);

// "%.4g" with "-0" written "0"; a whole number below 10^7 with all its
// digits (99999, not 1e+05).
std::string ShortNumber(double value);

void DrawLegend(CPicture& picture, const CRegion& band, const CLegend& legend, int scale);

}  // namespace VelpoTools
