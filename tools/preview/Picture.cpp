#include "tools/preview/Picture.h"

#include <algorithm>
#include <cmath>

#include "tools/common/OutputFile.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb_image_write.h>

namespace VelpoTools {

using Velpo::CResult;

namespace {

// Below stb's default of 8: deflate's effort grows with the level, and on
// the benchmark's frame (bench/PreviewBench.cpp) level 3 makes the file only
// about 1% larger.
constexpr int PngCompressionLevel = 3;

}  // namespace

CPicture::CPicture(int width, int height, CRgb background)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3) {
    for (size_t i = 0; i < pixels_.size(); i += 3) {
        pixels_[i] = background.r;
        pixels_[i + 1] = background.g;
        pixels_[i + 2] = background.b;
    }
}

CRgb CPicture::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return {};
    }
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width_) + x) * 3;
    return {pixels_[at], pixels_[at + 1], pixels_[at + 2]};
}

void CPicture::Put(int x, int y, CRgb colour) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return;
    }
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width_) + x) * 3;
    pixels_[at] = colour.r;
    pixels_[at + 1] = colour.g;
    pixels_[at + 2] = colour.b;
}

void CPicture::FillRect(int x, int y, int width, int height, CRgb colour) {
    const int x0 = std::max(x, 0);
    const int y0 = std::max(y, 0);
    const int x1 = static_cast<int>(std::min<int64_t>(int64_t{x} + width, width_));
    const int y1 = static_cast<int>(std::min<int64_t>(int64_t{y} + height, height_));
    for (int row = y0; row < y1; ++row) {
        for (int column = x0; column < x1; ++column) {
            Put(column, row, colour);
        }
    }
}

void CPicture::Line(double x0, double y0, double x1, double y1, CRgb colour, int thickness) {
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) {
        return;
    }
    // Lines are short here (chart axes and curves), so a step per pixel
    // along the longer side is cheap; ends far outside are clamped first.
    const double limit = 4.0 * (width_ + height_);
    x0 = std::clamp(x0, -limit, limit);
    x1 = std::clamp(x1, -limit, limit);
    y0 = std::clamp(y0, -limit, limit);
    y1 = std::clamp(y1, -limit, limit);
    const int steps = static_cast<int>(std::ceil(std::max(std::abs(x1 - x0), std::abs(y1 - y0))));
    const int before = (thickness - 1) / 2;
    for (int i = 0; i <= steps; ++i) {
        const double t = steps == 0 ? 0.0 : static_cast<double>(i) / steps;
        const int x = static_cast<int>(std::lround(x0 + (x1 - x0) * t));
        const int y = static_cast<int>(std::lround(y0 + (y1 - y0) * t));
        FillRect(x - before, y - before, thickness, thickness, colour);
    }
}

CResult EncodePng(const CPicture& picture, std::string& png) {
    png.clear();
    stbi_write_png_compression_level = PngCompressionLevel;
    const auto append = [](void* context, void* data, int size) {
        static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                                   static_cast<size_t>(size));
    };
    if (!stbi_write_png_to_func(append, &png, picture.Width(), picture.Height(), 3,
                                picture.Pixels(), picture.Width() * 3)) {
        return CResult::Fail("the PNG could not be encoded (out of memory)");
    }
    return CResult::Ok();
}

CResult WritePng(const CPicture& picture, const std::string& file) {
    std::string png;
    if (CResult encoded = EncodePng(picture, png); !encoded) {
        return CResult::Fail(file + ": " + encoded.Message());
    }
    return WriteFileReplacing(file, [&png](COutput& out) { out.Write(png); });
}

}  // namespace VelpoTools
