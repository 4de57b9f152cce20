// Points on the canvas: the colour each particle gets, the size chosen for
// a count, squares clipped to their region, depth kept between blocks, and
// the legend's account of what was not drawn.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "tools/preview/ColorMap.h"
#include "tools/preview/FramePicture.h"
#include "tools/preview/PointRenderer.h"
#include "tools/preview/Projection.h"

namespace VelpoTools {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr CRgb Red{255, 0, 0};

// A frame of per-particle positions and, when given, colour values with
// `components` numbers each.
CParticleFrame Frame(const std::vector<CVec3>& points, std::vector<double> colour = {},
                     int32_t components = 1) {
    CParticleFrame frame;
    frame.particles = static_cast<int64_t>(points.size());
    frame.positions.components = 3;
    for (const CVec3& p : points) {
        frame.positions.values.insert(frame.positions.values.end(), p.begin(), p.end());
    }
    frame.colour.components = colour.empty() ? 0 : components;
    frame.colour.values = std::move(colour);
    return frame;
}

CBounds Box(CVec3 min, CVec3 max) {
    CBounds bounds;
    bounds.Add(min);
    bounds.Add(max);
    return bounds;
}

// Pixels of the picture whose colour is not the background.
int Painted(const CPicture& picture) {
    int painted = 0;
    for (int y = 0; y < picture.Height(); ++y) {
        for (int x = 0; x < picture.Width(); ++x) {
            painted += picture.At(x, y) == BackgroundColour ? 0 : 1;
        }
    }
    return painted;
}

TEST(PreviewColouring, EachModeGivesItsColourAndGreysOutWhatIsNotFinite) {
    CColouring plain;
    CColouring rgb;
    rgb.mode = CColouring::CMode::Rgb;
    CColouring map;
    map.mode = CColouring::CMode::Map;
    map.low = 10.0;
    map.high = 20.0;
    const CParticleFrame vectors = Frame({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
                                         {0, 0.5, 1, -1, 2, 0.2, NaN, 0, 0, 0, Inf, 0}, 3);
    const CParticleFrame scalars =
        Frame({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {10, 20, 15, 5, NaN});
    struct CCase {
        const CColouring* colouring;
        const CParticleFrame* frame;
        int64_t particle;
        CRgb colour;
    } cases[] = {
        {&plain, &scalars, 0, PlainPointColour}, {&rgb, &vectors, 0, {0, 128, 255}},
        {&rgb, &vectors, 1, {0, 255, 51}},  // clamped to [0, 1]
        {&rgb, &vectors, 2, NonFiniteColour},    {&rgb, &vectors, 3, NonFiniteColour},
        {&map, &scalars, 0, MapColour(0.0)},     {&map, &scalars, 1, MapColour(1.0)},
        {&map, &scalars, 2, MapColour(0.5)},     {&map, &scalars, 3, MapColour(0.0)},
        {&map, &scalars, 4, NonFiniteColour},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.colouring->mode)) + " particle " +
                     std::to_string(c.particle));
        const CRgb got = c.colouring->Of(*c.frame, c.particle);
        EXPECT_EQ(got, c.colour) << int(got.r) << "," << int(got.g) << "," << int(got.b);
    }
    // Ends of the map are its darkest and lightest stops, never the grey.
    EXPECT_EQ(MapColour(0.0), (CRgb{68, 1, 84}));
    EXPECT_EQ(MapColour(1.0), (CRgb{253, 231, 37}));
    // A vector on the map is coloured by its length.
    const CParticleFrame lengths = Frame({{0, 0, 0}}, {3, 4, 0}, 3);
    map.low = 0.0;
    map.high = 5.0;
    EXPECT_EQ(map.Of(lengths, 0), MapColour(1.0));
}

TEST(PreviewPointSize, FewerParticlesPerPixelGiveSmallerPoints) {
    // 6000 pixels: the counts below give 400, 60 and 12 pixels a particle
    // exactly, where the size steps down.
    const CRegion region{0, 0, 100, 60};
    struct CCase {
        int64_t particles;
        int size;
    } cases[] = {
        {0, 4}, {1, 4}, {15, 4}, {16, 3}, {100, 3}, {101, 2}, {500, 2}, {501, 1}, {1000000000, 1},
    };
    for (const CCase& c : cases) {
        EXPECT_EQ(AutomaticPointSize(c.particles, region), c.size) << c.particles;
    }
    EXPECT_EQ(AutomaticPointSize(100, CRegion{0, 0, 0, 0}), 1) << "an empty region";
}

TEST(PreviewCanvas, APointIsASquareOfItsSizeCentredOnItsPixel) {
    const CBounds bounds = Box({0, 0, 0}, {10, 10, 0});
    const CProjection projection({}, bounds, 100, 100);
    CProjected centre;
    ASSERT_TRUE(projection.Project({5, 5, 0}, centre));
    const int cx = static_cast<int>(centre.x);
    const int cy = static_cast<int>(centre.y);
    for (int size : {1, 2, 3, 4, 5}) {
        SCOPED_TRACE(size);
        CPicture picture(100, 100, BackgroundColour);
        const CRenderCounts counts =
            RenderPoints(picture, {0, 0, 100, 100}, projection, Frame({{5, 5, 0}}), {}, size);
        EXPECT_EQ(counts.drawn, 1);
        EXPECT_EQ(Painted(picture), size * size);
        const int left = cx - (size - 1) / 2;
        const int top = cy - (size - 1) / 2;
        EXPECT_EQ(picture.At(left, top), PlainPointColour);
        EXPECT_EQ(picture.At(left + size - 1, top + size - 1), PlainPointColour);
        EXPECT_EQ(picture.At(left - 1, cy), BackgroundColour);
        EXPECT_EQ(picture.At(left + size, cy), BackgroundColour);
        EXPECT_EQ(picture.At(cx, top - 1), BackgroundColour);
        EXPECT_EQ(picture.At(cx, top + size), BackgroundColour);
    }
}

TEST(PreviewCanvas, OnlyTheRegionIsTouchedAndWhatFallsOutsideIsCounted) {
    // A region of 40 x 30 pixels at (20, 10) of a red picture of 80 x 50.
    const CRegion region{20, 10, 40, 30};
    const CBounds bounds = Box({0, 0, 0}, {1, 1, 0});
    const CProjection projection({}, bounds, region.width, region.height);
    CPicture picture(80, 50, Red);
    const CParticleFrame frame = Frame({{0, 0, 0},
                                        {1, 1, 0},
                                        {0.5, 0.5, 0},
                                        {100, 0.5, 0},
                                        {0.5, -100, 0},
                                        {NaN, 0, 0},
                                        {0, Inf, 0}});
    const CRenderCounts counts = RenderPoints(picture, region, projection, frame, {}, 9);
    EXPECT_EQ(counts.drawn, 3);
    EXPECT_EQ(counts.outside, 2);
    EXPECT_EQ(counts.noPosition, 2);
    int inside = 0;
    for (int y = 0; y < picture.Height(); ++y) {
        for (int x = 0; x < picture.Width(); ++x) {
            const bool inRegion = x >= region.x && x < region.x + region.width && y >= region.y &&
                                  y < region.y + region.height;
            if (!inRegion) {
                ASSERT_EQ(picture.At(x, y), Red) << x << "," << y;
            } else {
                inside += picture.At(x, y) == PlainPointColour ? 1 : 0;
            }
        }
    }
    // Three squares of 9 x 9, none overlapping; the corner ones are cut by
    // the region's edges but still show.
    EXPECT_GT(inside, 81);
    EXPECT_LT(inside, 3 * 81);

    // A region of no pixels draws nothing and does not fault.
    CPicture untouched(10, 10, Red);
    CPointCanvas none(untouched, CRegion{0, 0, 0, 5}, projection, {}, 3);
    none.Draw(frame);
    EXPECT_EQ(none.Counts().drawn, 0);
    EXPECT_EQ(untouched.At(0, 0), Red);
}

TEST(PreviewCanvas, DepthIsKeptFromOneBlockToTheNext) {
    // Looking along -z: z 1 is nearer than z -1.
    const CBounds bounds = Box({0, 0, -1}, {2, 2, 1});
    const CProjection projection({}, bounds, 60, 60);
    CColouring map;
    map.mode = CColouring::CMode::Map;
    map.low = 0.0;
    map.high = 1.0;
    const CParticleFrame nearer = Frame({{1, 1, 1}}, {1.0});
    const CParticleFrame farther = Frame({{1, 1, -1}}, {0.0});
    CProjected at;
    ASSERT_TRUE(projection.Project({1, 1, 0}, at));
    for (bool nearFirst : {true, false}) {
        SCOPED_TRACE(nearFirst ? "near first" : "far first");
        CPicture picture(60, 60, BackgroundColour);
        CPointCanvas canvas(picture, {0, 0, 60, 60}, projection, map, 3);
        canvas.Draw(nearFirst ? nearer : farther);
        canvas.Draw(nearFirst ? farther : nearer);
        EXPECT_EQ(canvas.Counts().drawn, 2);
        EXPECT_EQ(picture.At(static_cast<int>(at.x), static_cast<int>(at.y)), MapColour(1.0));
    }
    // Every particle at one single position is drawn once.
    CParticleFrame shared = Frame({{1, 1, 0}});
    shared.particles = 1000;
    shared.positions.single = true;
    CPicture picture(60, 60, BackgroundColour);
    EXPECT_EQ(RenderPoints(picture, {0, 0, 60, 60}, projection, shared, {}, 1).drawn, 1);
}

TEST(PreviewLegendDetail, CountsWhatWasNotDrawnAndChoosesTheColouring) {
    struct CCase {
        int64_t particles;
        CRenderCounts counts;
        const char* detail;
    } cases[] = {
        {1, {1, 0, 0}, "1 particle"},
        {0, {0, 0, 0}, "0 particles"},
        {3, {2, 1, 0}, "3 particles, 1 out of view"},
        {2, {1, 0, 1}, "2 particles, 1 with a NaN/inf position not drawn"},
        {5, {2, 3, 0}, "5 particles, 3 out of view"},
        {5, {3, 0, 2}, "5 particles, 2 with a NaN/inf position not drawn"},
        {9, {1, 4, 4}, "9 particles, 4 with a NaN/inf position not drawn, 4 out of view"},
    };
    for (const CCase& c : cases) {
        EXPECT_EQ(DrawnDetail(c.particles, c.counts), c.detail);
    }

    CColourStats stats;
    stats.Add(-2.0);
    stats.Add(7.0);
    CPreviewChoice choice;
    CColouring colouring;
    colouring.mode = CColouring::CMode::Rgb;
    ASSERT_TRUE(ChooseColouring(choice, "f.pdc", 3, stats, colouring).Succeeded());
    EXPECT_EQ(colouring.mode, CColouring::CMode::Plain) << "no --color: plain points";
    choice.colour = "heat";
    ASSERT_TRUE(ChooseColouring(choice, "f.pdc", 1, stats, colouring).Succeeded());
    EXPECT_EQ(colouring.mode, CColouring::CMode::Map);
    EXPECT_EQ(colouring.low, -2.0);
    EXPECT_EQ(colouring.high, 7.0);
    choice.rgb = true;
    ASSERT_TRUE(ChooseColouring(choice, "f.pdc", 3, stats, colouring).Succeeded());
    EXPECT_EQ(colouring.mode, CColouring::CMode::Rgb);
    EXPECT_EQ(ChooseColouring(choice, "f.pdc", 1, stats, colouring).Message(),
              "f.pdc: --rgb needs vectors, and \"heat\" holds single numbers");
}

}  // namespace
}  // namespace VelpoTools
