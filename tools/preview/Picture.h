// The picture `velpo preview` draws into: 8-bit RGB pixels, rows top to
// bottom, and its PNG bytes.
//
// Every drawing call clips to the picture, so callers may pass coordinates
// that fall partly or wholly outside it. Not thread-safe as a whole, but
// threads may draw into disjoint regions at once (the contact sheet's tiles).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Result.h"

namespace VelpoTools {

struct CRgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;

    bool operator==(const CRgb&) const = default;
};

class CPicture {
public:
    CPicture(int width, int height, CRgb background);

    int Width() const { return width_; }
    int Height() const { return height_; }
    const uint8_t* Pixels() const { return pixels_.data(); }

    CRgb At(int x, int y) const;
    // Nothing happens outside the picture.
    void Put(int x, int y, CRgb colour);
    void FillRect(int x, int y, int width, int height, CRgb colour);
    // A straight line `thickness` pixels wide, ends included.
    void Line(double x0, double y0, double x1, double y1, CRgb colour, int thickness = 1);

private:
    int width_;
    int height_;
    std::vector<uint8_t> pixels_;
};

// The picture as PNG bytes. Fails only when the encoder runs out of memory.
Velpo::CResult EncodePng(const CPicture& picture, std::string& png);

// Encodes and writes the picture through WriteFileReplacing: `file` holds a
// whole PNG or is left as it was. Fails naming the file.
Velpo::CResult WritePng(const CPicture& picture, const std::string& file);

}  // namespace VelpoTools
