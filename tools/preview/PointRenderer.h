// Particles drawn as small squares into a region of a picture, nearer ones
// over farther ones: a depth per pixel of the region decides, so the order
// of the particles in the file does not show.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/preview/ParticleFrame.h"
#include "tools/preview/Picture.h"
#include "tools/preview/Projection.h"

namespace VelpoTools {

struct CColouring {
    enum class CMode { Plain, Map, Rgb };
    CMode mode = CMode::Plain;
    double low = 0.0;  // the map's range (CMode::Map)
    double high = 0.0;

    // The colour of particle i of `frame`.
    CRgb Of(const CParticleFrame& frame, int64_t i) const;
};

// A rectangle of the picture, in pixels.
struct CRegion {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct CRenderCounts {
    int64_t drawn = 0;       // landed in the region
    int64_t outside = 0;     // outside the region or behind the camera
    int64_t noPosition = 0;  // a NaN or infinite coordinate
};

// Point size in pixels when none is asked for: larger for fewer particles,
// so a handful is visible and a million do not smear into a blot.
int AutomaticPointSize(int64_t particles, const CRegion& region);

// Particles drawn into `region` over several calls, one per block of a
// frame: the depth of every pixel is kept between them, so the picture is
// the one the whole frame drawn at once gives. `projection` maps into a
// viewport of the region's size; only pixels of the region are touched.
// The picture, projection and colouring must outlive the canvas.
class CPointCanvas {
public:
    CPointCanvas(CPicture& picture, const CRegion& region, const CProjection& projection,
                 const CColouring& colouring, int pointSize);

    // The particles of `frame` (its Drawn()), after those drawn before.
    void Draw(const CParticleFrame& frame);
    const CRenderCounts& Counts() const { return counts_; }

private:
    CPicture& picture_;
    CRegion region_;
    const CProjection& projection_;
    const CColouring& colouring_;
    int pointSize_;
    std::vector<float> depth_;
    CRenderCounts counts_;
};

// Draws the frame's particles into `region` in one call (a CPointCanvas).
CRenderCounts RenderPoints(CPicture& picture, const CRegion& region, const CProjection& projection,
                           const CParticleFrame& frame, const CColouring& colouring, int pointSize);

}  // namespace VelpoTools
