#include "tools/preview/Lettering.h"

#include <cmath>
#include <vector>

#include <stb_easy_font.h>

namespace VelpoTools {

namespace {

// The font indexes its glyph table by (byte - 32) without a check.
std::string Printable(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c < 0x20 || c > 0x7E) {
            c = '?';
        }
    }
    return out;
}

struct CQuadVertex {
    float x;
    float y;
    float z;
    unsigned char colour[4];
};

}  // namespace

int TextWidth(std::string_view text, int scale) {
    std::string printable = Printable(text);
    return stb_easy_font_width(printable.data()) * scale;
}

void DrawText(CPicture& picture, int x, int y, std::string_view text, int scale, CRgb colour) {
    std::string printable = Printable(text);
    // About 270 bytes a character, by the font's own estimate; a glyph has
    // at most a dozen quads of 64 bytes.
    std::vector<CQuadVertex> vertices(printable.size() * 48 + 4);
    const int quads = stb_easy_font_print(0.0f, 0.0f, printable.data(), nullptr, vertices.data(),
                                          static_cast<int>(vertices.size() * sizeof(CQuadVertex)));
    for (int q = 0; q < quads; ++q) {
        const CQuadVertex& corner = vertices[static_cast<size_t>(q) * 4];
        const CQuadVertex& opposite = vertices[static_cast<size_t>(q) * 4 + 2];
        const int left = static_cast<int>(std::lround(corner.x)) * scale;
        const int top = static_cast<int>(std::lround(corner.y)) * scale;
        const int right = static_cast<int>(std::lround(opposite.x)) * scale;
        const int bottom = static_cast<int>(std::lround(opposite.y)) * scale;
        picture.FillRect(x + left, y + top, right - left, bottom - top, colour);
    }
}

std::string FitText(std::string_view text, int width, int scale) {
    if (TextWidth(text, scale) <= width) {
        return std::string(text);
    }
    for (size_t cut = 1; cut < text.size(); ++cut) {
        std::string shorter = "..." + std::string(text.substr(cut));
        if (TextWidth(shorter, scale) <= width) {
            return shorter;
        }
    }
    return std::string();
}

}  // namespace VelpoTools
