// Where points land in a preview: the box around a sequence, the exact
// pixels of the orthographic views, and cameras that look straight down.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "tools/preview/Projection.h"

namespace VelpoTools {
namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();

TEST(PreviewBounds, EmptyBoundsAddNothingAndBoxesMerge) {
    CBounds empty;
    CBounds box;
    box.Add(CVec3{1, 2, 3});
    box.Add(CVec3{4, -5, 6});
    EXPECT_FALSE(box.empty);
    EXPECT_EQ(box.min, (CVec3{1, -5, 3}));
    EXPECT_EQ(box.max, (CVec3{4, 2, 6}));

    // An unreadable frame's empty box must not pull the origin in.
    CBounds merged = box;
    merged.Add(empty);
    EXPECT_EQ(merged.min, box.min);
    EXPECT_EQ(merged.max, box.max);
    CBounds fromEmpty;
    fromEmpty.Add(empty);
    EXPECT_TRUE(fromEmpty.empty);
    fromEmpty.Add(box);
    EXPECT_FALSE(fromEmpty.empty);
    EXPECT_EQ(fromEmpty.min, box.min);
    EXPECT_EQ(fromEmpty.max, box.max);

    CBounds other;
    other.Add(CVec3{10, 10, -10});
    merged.Add(other);
    EXPECT_EQ(merged.min, (CVec3{1, -5, -10}));
    EXPECT_EQ(merged.max, (CVec3{10, 10, 6}));
    EXPECT_EQ(merged.Centre(), (CVec3{5.5, 2.5, -2}));

    // The centre of the widest box a double holds is finite.
    CBounds widest;
    widest.Add(CVec3{-1.7976931348623157e308, 0, 0});
    widest.Add(CVec3{1.7976931348623157e308, 0, 0});
    EXPECT_EQ(widest.Centre(), (CVec3{0, 0, 0}));
}

TEST(PreviewProjectionPixels, OrthographicViewsPutTheBoxCornersAtTheMargin) {
    CBounds box;
    box.Add(CVec3{-1, -1, -1});
    box.Add(CVec3{1, 1, 1});
    // 200 x 100 pixels: 45 pixels per unit (90% of the height over 2 units).
    struct Case {
        char axis;
        CVec3 point;
        double x;
        double y;
        double depth;
    } cases[] = {
        {'z', {0, 0, 0}, 100, 50, 0},   {'z', {1, 1, 0}, 145, 5, 0},
        {'z', {-1, -1, 1}, 55, 95, -1}, {'z', {0, 0, -1}, 100, 50, 1},
        {'x', {0, 0, -1}, 145, 50, 0},  {'x', {1, 1, 0}, 100, 5, -1},
        {'y', {1, 0, -1}, 145, 5, 0},   {'y', {0, -1, 1}, 100, 95, 1},
    };
    for (const Case& c : cases) {
        CViewChoice view;
        view.axis = c.axis;
        const CProjection projection(view, box, 200, 100);
        CProjected out;
        ASSERT_TRUE(projection.Project(c.point, out)) << c.axis;
        EXPECT_DOUBLE_EQ(out.x, c.x) << c.axis << " " << c.point[0] << "," << c.point[1];
        EXPECT_DOUBLE_EQ(out.y, c.y) << c.axis << " " << c.point[0] << "," << c.point[1];
        EXPECT_DOUBLE_EQ(out.depth, c.depth) << c.axis;
    }
    CViewChoice z;
    const CProjection projection(z, box, 200, 100);
    CProjected out;
    EXPECT_FALSE(projection.Project({Inf, 0, 0}, out));
    EXPECT_FALSE(projection.Project({0, std::nan(""), 0}, out));
    EXPECT_TRUE(projection.Usable().Succeeded());
}

TEST(PreviewProjectionPixels, CamerasLookingAlongTheVerticalKeepAnUp) {
    CBounds box;
    box.Add(CVec3{-1, 0, -1});
    box.Add(CVec3{1, 0, 1});
    struct Case {
        CVec3 eye;
        CVec3 point;
        double x;
        double y;
        double depth;
    } cases[] = {
        // From above, looking down: x right and -z up, as --axis y.
        {{0, 10, 0}, {1, 0, 0}, 55, 50, 10},
        {{0, 10, 0}, {0, 0, -1}, 50, 45, 10},
        // From below, looking up: +z up.
        {{0, -10, 0}, {0, 0, 1}, 50, 45, 10},
        // Along -z from the front: x right, y up; 90 degrees: 50 pixels per unit at depth 1.
        {{0, 0, 10}, {1, 1, 0}, 55, 45, 10},
    };
    for (const Case& c : cases) {
        CViewChoice view;
        view.camera = CCamera{c.eye, CVec3{0, 0, 0}, 90.0};
        const CProjection projection(view, box, 100, 100);
        ASSERT_TRUE(projection.Usable().Succeeded());
        CProjected out;
        ASSERT_TRUE(projection.Project(c.point, out));
        EXPECT_NEAR(out.x, c.x, 1e-9) << c.eye[1] << " " << c.point[2];
        EXPECT_NEAR(out.y, c.y, 1e-9) << c.eye[1] << " " << c.point[2];
        EXPECT_NEAR(out.depth, c.depth, 1e-9);
        // Behind the eye, or at it, nothing lands.
        const CVec3 behind{2 * c.eye[0], 2 * c.eye[1], 2 * c.eye[2]};
        EXPECT_FALSE(projection.Project(behind, out));
        EXPECT_FALSE(projection.Project(c.eye, out));
    }
    // The target defaults to the centre of the bounds; an eye there is refused.
    CBounds shifted;
    shifted.Add(CVec3{4, 4, 4});
    CViewChoice atCentre;
    atCentre.camera = CCamera{{4, 4, 4}, std::nullopt, 40.0};
    const CProjection refused(atCentre, shifted, 100, 100);
    const Velpo::CResult usable = refused.Usable();
    ASSERT_FALSE(usable.Succeeded());
    EXPECT_NE(usable.Message().find("the eye is where the camera looks"), std::string::npos);
}

TEST(PreviewCameraOption, NumbersAndFieldsOfViewAtTheirEdges) {
    struct Case {
        const char* text;
        bool ok;
        double fov;
    } cases[] = {
        {"0,0,0", true, 40},
        {"-1.5,2e3,0.25", true, 40},
        {"1,2,3,4,5,6,179.9", true, 179.9},
        {"1,2,3,4,5,6,0.001", true, 0.001},
        {"1,2,3,4,5,6,-10", false, 0},
        {"1,2,3,4,5,6,180.0001", false, 0},
        {"1,2,3,4,5,6,7,8", false, 0},
        {"1,2,3,4,5", false, 0},
        {"1,2,1e400", false, 0},
        {",1,2,3", false, 0},
        {"1;2;3", false, 0},
        {"0x1,2,3", false, 0},
    };
    for (const Case& c : cases) {
        CCamera camera;
        camera.fovDegrees = 55;
        const Velpo::CResult parsed = ParseCamera(c.text, camera);
        ASSERT_EQ(parsed.Succeeded(), c.ok) << c.text << ": " << parsed.Message();
        if (c.ok) {
            EXPECT_EQ(camera.fovDegrees, c.fov) << c.text;
        }
    }
    CCamera camera;
    const Velpo::CResult fov = ParseCamera("1,2,3,4,5,6,200", camera);
    EXPECT_EQ(fov.Message(), "the field of view 200 is not between 0 and 180 degrees");
    const Velpo::CResult shape = ParseCamera("1,2", camera);
    EXPECT_NE(shape.Message().find("\"1,2\" is not EX,EY,EZ"), std::string::npos);
    char axis = 'q';
    const Velpo::CResult bad = ParseAxis("w", axis);
    EXPECT_EQ(bad.Message(), "\"w\" is not x, y or z");
    EXPECT_EQ(axis, 'q');
    for (const char* name : {"x", "y", "z"}) {
        ASSERT_TRUE(ParseAxis(name, axis).Succeeded());
        EXPECT_EQ(axis, name[0]);
    }
}

}  // namespace
}  // namespace VelpoTools
