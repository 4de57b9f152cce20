// Where a particle lands in the picture: an orthographic view along an axis
// or a perspective camera, framed to the particles' bounds.
//
//   --axis z   look along -z: x to the right, y up (the default)
//   --axis x   look along -x: -z to the right, y up
//   --axis y   look along -y (from above): x to the right, -z up
//   --camera EX,EY,EZ[,TX,TY,TZ[,FOV]]
//              an eye at E looking at T (default: the centre of the
//              bounds), world y up, FOV degrees of vertical view (default 40)
//
// The orthographic view keeps the aspect ratio and leaves a margin; bounds
// that are a point or flat in the view still give a picture (the points in
// its middle), never a division by zero.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "base/Result.h"

namespace VelpoTools {

using CVec3 = std::array<double, 3>;

// The box around finite positions; empty until a position is added.
struct CBounds {
    CVec3 min{0.0, 0.0, 0.0};
    CVec3 max{0.0, 0.0, 0.0};
    bool empty = true;

    void Add(const CVec3& point);
    void Add(const CBounds& other);
    CVec3 Centre() const;
};

struct CCamera {
    CVec3 eye{0.0, 0.0, 0.0};
    std::optional<CVec3> target;  // unset: the centre of the bounds
    double fovDegrees = 40.0;
};

struct CViewChoice {
    char axis = 'z';                // 'x', 'y' or 'z'
    std::optional<CCamera> camera;  // set: perspective, axis unused
};

// "x", "y" or "z". A failure is a usage error; its message does not name
// the option.
Velpo::CResult ParseAxis(const std::string& text, char& axis);
// "EX,EY,EZ[,TX,TY,TZ[,FOV]]", finite decimal numbers, with 0 < FOV < 180.
// A failure is a usage error; its message does not name the option.
Velpo::CResult ParseCamera(const std::string& text, CCamera& camera);

// A point in the picture: pixel coordinates (x right, y down, from the
// viewport's corner) and a depth that grows away from the viewer.
struct CProjected {
    double x = 0.0;
    double y = 0.0;
    double depth = 0.0;
};

class CProjection {
public:
    // The view of `bounds` in a viewport of width x height pixels.
    CProjection(const CViewChoice& view, const CBounds& bounds, int width, int height);

    // False for a point behind a perspective camera (or at its eye) and for
    // coordinates that are not finite; `out` is then unset.
    bool Project(const CVec3& point, CProjected& out) const;

    // Fails when the camera looks at its own eye.
    Velpo::CResult Usable() const;

private:
    bool perspective_ = false;
    CVec3 origin_{0.0, 0.0, 0.0};  // orthographic: the bounds' centre; perspective: the eye
    CVec3 right_{1.0, 0.0, 0.0};
    CVec3 up_{0.0, 1.0, 0.0};
    CVec3 forward_{0.0, 0.0, -1.0};
    double scale_ = 1.0;  // pixels per unit, or the focal length in pixels
    double centreX_ = 0.0;
    double centreY_ = 0.0;
    bool usable_ = true;
};

}  // namespace VelpoTools
