// Particles drawn as small squares into a region of a picture, nearer ones
// over farther ones: a depth per pixel of the region decides, so the order
// of the particles in the file does not show.
#pragma once

#include <cstdint>

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

// Draws the frame's particles into `region`; `projection` maps into a
// viewport of the region's size. Only pixels of the region are touched.
CRenderCounts RenderPoints(CPicture& picture, const CRegion& region, const CProjection& projection,
                           const CParticleFrame& frame, const CColouring& colouring, int pointSize);

}  // namespace VelpoTools
