// What `velpo preview` was asked to draw, the options as values, shared by
// the single picture, the contact sheet and the chart.
#pragma once

#include <string>

#include "base/Result.h"
#include "tools/preview/Projection.h"

namespace VelpoTools {

inline constexpr int DefaultWidth = 960;
inline constexpr int DefaultHeight = 540;
inline constexpr int MinSide = 64;
inline constexpr int MaxSide = 16384;

struct CPreviewChoice {
    std::string output;  // the PNG file
    int width = DefaultWidth;
    int height = DefaultHeight;
    CViewChoice view;
    std::string colour;  // the --color attribute; empty for none
    bool rgb = false;    // its vectors as RGB instead of their length on the map
    int pointSize = 0;   // 0: automatic
};

// "WxH", each side a whole number from MinSide to MaxSide. A failure says
// what is wrong with the text (not WIDTHxHEIGHT, too big, too small) and is
// a usage error.
Velpo::CResult ParseSize(const std::string& text, int& width, int& height);

// "--color velocity" shown in legends and charts: "velocity", or
// "velocity (length)" for a vector on the colour map.
std::string AttributeLabel(const std::string& name, int components, bool rgb);

}  // namespace VelpoTools
