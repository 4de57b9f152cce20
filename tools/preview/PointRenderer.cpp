#include "tools/preview/PointRenderer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "tools/preview/ColorMap.h"

namespace VelpoTools {

namespace {

uint8_t Channel(double value) {
    return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0));
}

}  // namespace

CRgb CColouring::Of(const CParticleFrame& frame, int64_t i) const {
    switch (mode) {
        case CMode::Plain:
            return PlainPointColour;
        case CMode::Rgb: {
            const double* c = frame.colour.Of(i);
            if (!std::isfinite(c[0]) || !std::isfinite(c[1]) || !std::isfinite(c[2])) {
                return NonFiniteColour;
            }
            return {Channel(c[0]), Channel(c[1]), Channel(c[2])};
        }
        case CMode::Map:
        default: {
            const double value = ColourValue(frame.colour, i);
            if (!std::isfinite(value)) {
                return NonFiniteColour;
            }
            return MapColour(RangePosition(value, low, high));
        }
    }
}

int AutomaticPointSize(int64_t particles, const CRegion& region) {
    const double pixels = static_cast<double>(region.width) * region.height;
    const double share = particles > 0 ? pixels / static_cast<double>(particles) : pixels;
    if (share >= 400.0) {
        return 4;
    }
    if (share >= 60.0) {
        return 3;
    }
    if (share >= 12.0) {
        return 2;
    }
    return 1;
}

CPointCanvas::CPointCanvas(CPicture& picture, const CRegion& region, const CProjection& projection,
                           const CColouring& colouring, int pointSize)
    : picture_(picture),
      region_(region),
      projection_(projection),
      colouring_(colouring),
      pointSize_(pointSize) {
    if (region.width > 0 && region.height > 0) {
        depth_.assign(static_cast<size_t>(region.width) * static_cast<size_t>(region.height),
                      std::numeric_limits<float>::infinity());
    }
}

void CPointCanvas::Draw(const CParticleFrame& frame) {
    if (depth_.empty()) {
        return;
    }
    const int before = (pointSize_ - 1) / 2;
    const int64_t drawn = frame.Drawn();
    for (int64_t i = 0; i < drawn; ++i) {
        const double* p = frame.positions.Of(i);
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) {
            ++counts_.noPosition;
            continue;
        }
        CProjected at;
        // Compared as doubles before any conversion: a point far outside
        // never reaches an integer it does not fit.
        if (!projection_.Project({p[0], p[1], p[2]}, at) || !(at.x >= 0.0) ||
            !(at.x < region_.width) || !(at.y >= 0.0) || !(at.y < region_.height)) {
            ++counts_.outside;
            continue;
        }
        ++counts_.drawn;
        const float d = static_cast<float>(std::clamp<double>(
            at.depth, -std::numeric_limits<float>::max(), std::numeric_limits<float>::max()));
        const CRgb colour = colouring_.Of(frame, i);
        const int cx = static_cast<int>(at.x);
        const int cy = static_cast<int>(at.y);
        const int x0 = std::max(cx - before, 0);
        const int y0 = std::max(cy - before, 0);
        const int x1 = std::min(cx - before + pointSize_, region_.width);
        const int y1 = std::min(cy - before + pointSize_, region_.height);
        for (int y = y0; y < y1; ++y) {
            float* row =
                depth_.data() + static_cast<size_t>(y) * static_cast<size_t>(region_.width);
            for (int x = x0; x < x1; ++x) {
                if (d < row[x]) {
                    row[x] = d;
                    picture_.Put(region_.x + x, region_.y + y, colour);
                }
            }
        }
    }
}

CRenderCounts RenderPoints(CPicture& picture, const CRegion& region, const CProjection& projection,
                           const CParticleFrame& frame, const CColouring& colouring,
                           int pointSize) {
    CPointCanvas canvas(picture, region, projection, colouring, pointSize);
    canvas.Draw(frame);
    return canvas.Counts();
}

}  // namespace VelpoTools
