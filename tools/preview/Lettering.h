// Text drawn into a picture with a small built-in bitmap font, scaled by
// whole pixels so it stays crisp: the legends, the tile labels and the
// chart's numbers.
#pragma once

#include <string>
#include <string_view>

#include "tools/preview/Picture.h"

namespace VelpoTools {

// Glyphs are about 7 units tall (9 with descenders); a line takes
// LineUnits. Every size below is in pixels for the given scale.
inline constexpr int LineUnits = 12;

int TextWidth(std::string_view text, int scale);
inline int TextHeight(int scale) {
    return 9 * scale;
}

// Draws one line of text with its top-left corner at (x, y). Bytes the font
// has no glyph for (control characters, non-ASCII) are drawn as '?'.
void DrawText(CPicture& picture, int x, int y, std::string_view text, int scale, CRgb colour);

// `text` cut to at most `width` pixels, keeping its end (a file's name
// matters most at the end) and marking the cut with "...".
std::string FitText(std::string_view text, int width, int scale);

}  // namespace VelpoTools
