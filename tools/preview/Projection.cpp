#include "tools/preview/Projection.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <string_view>
#include <vector>

#include "tools/common/Numbers.h"

namespace VelpoTools {

using Velpo::CResult;

namespace {

// The share of the viewport left free on each side of the framed bounds.
constexpr double Margin = 0.05;

double Dot(const CVec3& a, const CVec3& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

CVec3 Minus(const CVec3& a, const CVec3& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

CVec3 Cross(const CVec3& a, const CVec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double Length(const CVec3& a) {
    return std::sqrt(Dot(a, a));
}

CVec3 Scaled(const CVec3& a, double s) {
    return {a[0] * s, a[1] * s, a[2] * s};
}

// Decimal numbers between commas, each whole and finite: no blank, no
// hexadecimal, no NaN or infinity.
bool ParseNumbers(const std::string& text, std::vector<double>& numbers) {
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const std::string_view part = std::string_view(text).substr(
            start, comma == std::string::npos ? std::string::npos : comma - start);
        double value = 0.0;
        if (ParseDouble(part, value) != CParsed::Number || !std::isfinite(value)) {
            return false;
        }
        numbers.push_back(value);
        if (comma == std::string::npos) {
            return true;
        }
        start = comma + 1;
    }
}

}  // namespace

void CBounds::Add(const CVec3& point) {
    for (size_t i = 0; i < 3; ++i) {
        min[i] = empty ? point[i] : std::min(min[i], point[i]);
        max[i] = empty ? point[i] : std::max(max[i], point[i]);
    }
    empty = false;
}

void CBounds::Add(const CBounds& other) {
    if (!other.empty) {
        Add(other.min);
        Add(other.max);
    }
}

CVec3 CBounds::Centre() const {
    // Halves first, so that bounds near the largest doubles do not overflow.
    return {min[0] / 2 + max[0] / 2, min[1] / 2 + max[1] / 2, min[2] / 2 + max[2] / 2};
}

CResult ParseAxis(const std::string& text, char& axis) {
    if (text != "x" && text != "y" && text != "z") {
        return CResult::Fail("\"" + text + "\" is not x, y or z");
    }
    axis = text[0];
    return CResult::Ok();
}

CResult ParseCamera(const std::string& text, CCamera& camera) {
    std::vector<double> numbers;
    if (!ParseNumbers(text, numbers) ||
        (numbers.size() != 3 && numbers.size() != 6 && numbers.size() != 7)) {
        return CResult::Fail("\"" + text +
                             "\" is not EX,EY,EZ or EX,EY,EZ,TX,TY,TZ or "
                             "EX,EY,EZ,TX,TY,TZ,FOV (finite decimal numbers)");
    }
    camera = CCamera();
    camera.eye = {numbers[0], numbers[1], numbers[2]};
    if (numbers.size() >= 6) {
        camera.target = CVec3{numbers[3], numbers[4], numbers[5]};
    }
    if (numbers.size() == 7) {
        if (!(numbers[6] > 0.0 && numbers[6] < 180.0)) {
            return CResult::Fail("the field of view " + text.substr(text.rfind(',') + 1) +
                                 " is not between 0 and 180 degrees");
        }
        camera.fovDegrees = numbers[6];
    }
    return CResult::Ok();
}

CProjection::CProjection(const CViewChoice& view, const CBounds& bounds, int width, int height)
    : centreX_(width / 2.0), centreY_(height / 2.0) {
    if (view.camera) {
        perspective_ = true;
        origin_ = view.camera->eye;
        const CVec3 target = view.camera->target.value_or(bounds.Centre());
        const CVec3 towards = Minus(target, origin_);
        const double distance = Length(towards);
        if (!(distance > 0.0) || !std::isfinite(distance)) {
            usable_ = false;
            return;
        }
        forward_ = Scaled(towards, 1.0 / distance);
        // World y is up, unless the camera looks straight along it: then
        // -z is up when looking down and +z when looking up, as --axis y.
        CVec3 worldUp{0.0, 1.0, 0.0};
        if (Length(Cross(forward_, worldUp)) < 1e-9) {
            worldUp = {0.0, 0.0, forward_[1] < 0 ? -1.0 : 1.0};
        }
        const CVec3 side = Cross(forward_, worldUp);
        right_ = Scaled(side, 1.0 / Length(side));
        up_ = Cross(right_, forward_);
        const double halfFov = view.camera->fovDegrees * std::numbers::pi / 360.0;
        scale_ = (height / 2.0) / std::tan(halfFov);
        return;
    }
    switch (view.axis) {
        case 'x':
            right_ = {0.0, 0.0, -1.0};
            up_ = {0.0, 1.0, 0.0};
            forward_ = {-1.0, 0.0, 0.0};
            break;
        case 'y':
            right_ = {1.0, 0.0, 0.0};
            up_ = {0.0, 0.0, -1.0};
            forward_ = {0.0, -1.0, 0.0};
            break;
        default:
            break;
    }
    origin_ = bounds.empty ? CVec3{0.0, 0.0, 0.0} : bounds.Centre();
    // The extent of the box in the view: half its size along right and up.
    const CVec3 half{bounds.max[0] / 2 - bounds.min[0] / 2, bounds.max[1] / 2 - bounds.min[1] / 2,
                     bounds.max[2] / 2 - bounds.min[2] / 2};
    const double halfWide = std::abs(half[0] * right_[0]) + std::abs(half[1] * right_[1]) +
                            std::abs(half[2] * right_[2]);
    const double halfHigh =
        std::abs(half[0] * up_[0]) + std::abs(half[1] * up_[1]) + std::abs(half[2] * up_[2]);
    const double usableWide = width * (1.0 - 2 * Margin) / 2.0;
    const double usableHigh = height * (1.0 - 2 * Margin) / 2.0;
    double scale = std::numeric_limits<double>::infinity();
    if (halfWide > 0.0) {
        scale = std::min(scale, usableWide / halfWide);
    }
    if (halfHigh > 0.0) {
        scale = std::min(scale, usableHigh / halfHigh);
    }
    // A point, or bounds too wide for a double: any finite scale will do.
    scale_ = std::isfinite(scale) && scale > 0.0 ? scale : 1.0;
}

bool CProjection::Project(const CVec3& point, CProjected& out) const {
    const CVec3 offset = Minus(point, origin_);
    const double depth = Dot(offset, forward_);
    double x = Dot(offset, right_);
    double y = Dot(offset, up_);
    if (perspective_) {
        if (!(depth > 0.0)) {
            return false;
        }
        x /= depth;
        y /= depth;
    }
    out.x = centreX_ + x * scale_;
    out.y = centreY_ - y * scale_;
    out.depth = depth;
    return std::isfinite(out.x) && std::isfinite(out.y) && std::isfinite(out.depth);
}

CResult CProjection::Usable() const {
    if (!usable_) {
        return CResult::Fail(
            "--camera: the eye is where the camera looks (or too far from it); "
            "give a target elsewhere");
    }
    return CResult::Ok();
}

}  // namespace VelpoTools
