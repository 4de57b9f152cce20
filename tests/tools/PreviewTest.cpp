// The parts of `velpo preview`: framing and projection (degenerate bounds
// included), the colour map's ends, axis ticks, the sheet's grid, reading a
// frame, and whole pictures decoded back from their PNG bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#include <stb_image.h>

#include "tests/tools/CommandRunner.h"
#include "tests/tools/KeptConsole.h"
#include "tools/preview/ColorMap.h"
#include "tools/preview/FramePicture.h"
#include "tools/preview/Legend.h"
#include "tools/preview/Plot.h"
#include "tools/preview/PreviewChoice.h"
#include "tools/preview/Projection.h"
#include "tools/preview/Sheet.h"

namespace VelpoTools {
namespace {

using VelpoCommandTest::CPdcBytes;
using VelpoCommandTest::CScratch;
using VelpoCommandTest::WriteFile;

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

CBounds Box(CVec3 min, CVec3 max) {
    CBounds bounds;
    bounds.Add(min);
    bounds.Add(max);
    return bounds;
}

CProjected Projected(const CProjection& projection, CVec3 point) {
    CProjected out;
    EXPECT_TRUE(projection.Project(point, out));
    return out;
}

TEST(PreviewProjection, EachAxisPutsItsRightAndUpWhereTheHelpSays) {
    struct CCase {
        char axis;
        CVec3 right;  // a point that must land right of the centre, at mid height
        CVec3 up;     // one that must land above it
        CVec3 near;   // one that must be nearer than the centre
    };
    const CCase cases[] = {
        {'z', {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {'x', {0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
        {'y', {1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
    };
    const CBounds bounds = Box({-1, -1, -1}, {1, 1, 1});
    for (const CCase& c : cases) {
        CViewChoice view;
        view.axis = c.axis;
        const CProjection projection(view, bounds, 200, 100);
        const CProjected centre = Projected(projection, {0, 0, 0});
        EXPECT_DOUBLE_EQ(centre.x, 100.0) << c.axis;
        EXPECT_DOUBLE_EQ(centre.y, 50.0) << c.axis;
        const CProjected right = Projected(projection, c.right);
        EXPECT_GT(right.x, centre.x) << c.axis;
        EXPECT_DOUBLE_EQ(right.y, centre.y) << c.axis;
        const CProjected up = Projected(projection, c.up);
        EXPECT_LT(up.y, centre.y) << c.axis;
        EXPECT_DOUBLE_EQ(up.x, centre.x) << c.axis;
        EXPECT_LT(Projected(projection, c.near).depth, centre.depth) << c.axis;
    }
}

TEST(PreviewProjection, FramingKeepsTheAspectAndAMarginOnTheTighterSide) {
    // 4 wide, 1 high into 200x100: the width decides, with 5% on each side.
    const CProjection projection({}, Box({-2, -0.5, 0}, {2, 0.5, 0}), 200, 100);
    EXPECT_NEAR(Projected(projection, {-2, 0, 0}).x, 10.0, 1e-9);
    EXPECT_NEAR(Projected(projection, {2, 0, 0}).x, 190.0, 1e-9);
    // The same scale upwards: 1 unit is 45 pixels.
    EXPECT_NEAR(Projected(projection, {0, 0.5, 0}).y, 50.0 - 22.5, 1e-9);
}

TEST(PreviewProjection, DegenerateBoundsStillGiveFinitePointsInside) {
    const CBounds cases[] = {
        Box({3, 4, 5}, {3, 4, 5}),           // one particle
        Box({0, 0, -7}, {0, 0, 9}),          // a line along the view
        Box({-1, 2, 0}, {1, 2, 0}),          // a line across it
        Box({-1e308, 0, 0}, {1e308, 0, 0}),  // wider than a double holds
        CBounds(),                           // no particle at all
    };
    for (const CBounds& bounds : cases) {
        const CProjection projection({}, bounds, 64, 48);
        for (const CVec3& corner : {bounds.min, bounds.max, bounds.Centre()}) {
            CProjected at;
            ASSERT_TRUE(projection.Project(corner, at));
            EXPECT_GE(at.x, 0.0);
            EXPECT_LE(at.x, 64.0);
            EXPECT_GE(at.y, 0.0);
            EXPECT_LE(at.y, 48.0);
        }
    }
    // A single particle lands in the middle.
    const CProjection one({}, cases[0], 64, 48);
    EXPECT_DOUBLE_EQ(Projected(one, {3, 4, 5}).x, 32.0);
    EXPECT_DOUBLE_EQ(Projected(one, {3, 4, 5}).y, 24.0);
}

TEST(PreviewProjection, CameraLooksAtTheCentreAndDropsWhatIsBehindIt) {
    CViewChoice view;
    view.camera = CCamera{{0, 0, 10}, std::nullopt, 90.0};
    const CProjection projection(view, Box({-1, -1, -1}, {1, 1, 1}), 100, 100);
    ASSERT_TRUE(projection.Usable().Succeeded());
    const CProjected centre = Projected(projection, {0, 0, 0});
    EXPECT_NEAR(centre.x, 50.0, 1e-9);
    EXPECT_NEAR(centre.y, 50.0, 1e-9);
    // 90 degrees: the edge of the view at distance 10 is 10 units off axis.
    EXPECT_NEAR(Projected(projection, {10, 0, 0}).x, 100.0, 1e-9);
    EXPECT_LT(Projected(projection, {0, 10, 0}).y, 50.0);
    EXPECT_LT(Projected(projection, {0, 0, 5}).depth, centre.depth);
    CProjected behind;
    EXPECT_FALSE(projection.Project({0, 0, 11}, behind));
    EXPECT_FALSE(projection.Project({0, 0, 10}, behind));

    // Straight down the y axis: no division by a zero side vector.
    view.camera = CCamera{{0, 10, 0}, CVec3{0, 0, 0}, 40.0};
    const CProjection down(view, CBounds(), 100, 100);
    EXPECT_TRUE(down.Usable().Succeeded());
    EXPECT_GT(Projected(down, {1, 0, 0}).x, 50.0);

    view.camera = CCamera{{1, 2, 3}, CVec3{1, 2, 3}, 40.0};
    EXPECT_FALSE(CProjection(view, CBounds(), 100, 100).Usable().Succeeded());
}

TEST(PreviewOptions, SizesAxesAndCamerasAreParsedOrRefused) {
    int width = 0;
    int height = 0;
    ASSERT_TRUE(ParseSize("1920x1080", width, height).Succeeded());
    EXPECT_EQ(width, 1920);
    EXPECT_EQ(height, 1080);
    for (const char* bad : {"", "0x0", "x", "100x", "x100", "63x100", "16385x100", "-100x100",
                            "+100x100", "100x100x1", "100 x100", "1e3x100", "99999999999x1"}) {
        EXPECT_FALSE(ParseSize(bad, width, height).Succeeded()) << bad;
    }
    EXPECT_EQ(width, 1920);  // untouched by refusals

    char axis = 'z';
    EXPECT_TRUE(ParseAxis("x", axis).Succeeded());
    EXPECT_EQ(axis, 'x');
    EXPECT_FALSE(ParseAxis("X", axis).Succeeded());
    EXPECT_FALSE(ParseAxis("xy", axis).Succeeded());

    CCamera camera;
    ASSERT_TRUE(ParseCamera("1,2,3", camera).Succeeded());
    EXPECT_FALSE(camera.target.has_value());
    EXPECT_EQ(camera.fovDegrees, 40.0);
    ASSERT_TRUE(ParseCamera("1,2,3,4,5,6,25.5", camera).Succeeded());
    EXPECT_EQ(camera.target, (CVec3{4, 5, 6}));
    EXPECT_EQ(camera.fovDegrees, 25.5);
    for (const char* bad :
         {"", "1,2", "1,2,3,4", "1,2,3,4,5,6,0", "1,2,3,4,5,6,180", "1,,3", "1,2,3,", "a,b,c",
          "1,2,nan", "1,2,inf", "1,2,3 ", "1,2,3x", "1,2,3e", "1,2,0x3", "1,2,3,4,5,6,25.5deg"}) {
        EXPECT_FALSE(ParseCamera(bad, camera).Succeeded()) << bad;
    }
}

TEST(PreviewColours, TheMapRunsDarkToLightAndClampsAndGreysOutNaN) {
    EXPECT_EQ(MapColour(0.0), (CRgb{68, 1, 84}));
    EXPECT_EQ(MapColour(1.0), (CRgb{253, 231, 37}));
    EXPECT_EQ(MapColour(-5.0), MapColour(0.0));
    EXPECT_EQ(MapColour(7.0), MapColour(1.0));
    EXPECT_EQ(MapColour(Inf), MapColour(1.0));
    EXPECT_EQ(MapColour(NaN), NonFiniteColour);
    // Lightness rises along the map, so order reads without a hue wheel.
    double lastLight = -1.0;
    for (int i = 0; i <= 20; ++i) {
        const CRgb c = MapColour(i / 20.0);
        const double light = 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b;
        EXPECT_GT(light, lastLight) << i;
        lastLight = light;
        EXPECT_NE(c, NonFiniteColour);
    }
    EXPECT_EQ(RangePosition(5.0, 5.0, 5.0), 0.5);
    EXPECT_EQ(RangePosition(3.0, 1.0, 5.0), 0.5);
    EXPECT_NEAR(RangePosition(1e308, -1e308, 1e308), 1.0, 1e-12);
}

TEST(PreviewPlot, TicksAreRoundAndCoverTheRange) {
    struct CCase {
        double low;
        double high;
        bool integers;
    };
    const CCase cases[] = {{0, 100000, false}, {0.012, 5.9, false}, {3, 3, false},
                           {0, 0, false},      {1, 48, true},       {7, 7, true},
                           {-2.5, 1e-3, false}};
    for (const CCase& c : cases) {
        double low = c.low;
        double high = c.high;
        const std::vector<double> ticks = AxisTicks(low, high, 6, c.integers);
        ASSERT_GE(ticks.size(), 2u) << c.low << " " << c.high;
        EXPECT_LE(ticks.size(), 10u);
        EXPECT_LE(low, c.low);
        EXPECT_GE(high, c.high);
        EXPECT_LT(low, high);
        EXPECT_EQ(ticks.front(), low);
        EXPECT_EQ(ticks.back(), high);
        const double step = ticks[1] - ticks[0];
        const double mantissa = step / std::pow(10.0, std::floor(std::log10(step)));
        EXPECT_TRUE(std::abs(mantissa - 1) < 1e-9 || std::abs(mantissa - 2) < 1e-9 ||
                    std::abs(mantissa - 5) < 1e-9)
            << step;
        if (c.integers) {
            EXPECT_GE(step, 1.0);
        }
    }
    double low = -1e308;
    double high = 1e308;
    EXPECT_EQ(AxisTicks(low, high, 6, false).size(), 2u);  // no overflowed step
}

TEST(PreviewSheet, TilesFitTheAreaWithoutOverlapAndKeepItsAspect) {
    for (const size_t tiles : {1u, 2u, 5u, 24u, 100u, 1000u}) {
        const CSheetLayout layout = LayOutSheet(tiles, 960, 500);
        EXPECT_GE(static_cast<size_t>(layout.columns * layout.rows), tiles);
        EXPECT_LT(static_cast<size_t>(layout.columns * (layout.rows - 1)), tiles);
        const CRegion last = layout.Tile(tiles - 1);
        EXPECT_GE(layout.Tile(0).x, 0);
        EXPECT_GE(layout.Tile(0).y, 0);
        EXPECT_LE(layout.left + layout.columns * layout.tileWidth, 960);
        EXPECT_LE(last.y + last.height, 500);
        EXPECT_NEAR(static_cast<double>(layout.tileWidth) / std::max(layout.tileHeight, 1),
                    960.0 / 500.0, tiles < 100 ? 0.05 : 1.0);
    }
}

// A file of `positions` and a scalar "heat" per particle.
std::string FrameBytes(const std::vector<CVec3>& positions, const std::vector<double>& heat) {
    CPdcBytes bytes;
    bytes.Header(static_cast<int32_t>(positions.size()), 3).Record("id", 3);
    for (size_t i = 0; i < positions.size(); ++i) {
        bytes.Double(static_cast<double>(i));
    }
    bytes.Record("heat", 3);
    for (const double value : heat) {
        bytes.Double(value);
    }
    bytes.Record("position", 5);
    for (const CVec3& p : positions) {
        bytes.Doubles({p[0], p[1], p[2]});
    }
    return bytes.Bytes();
}

struct CDecoded {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;

    CRgb At(int x, int y) const {
        const size_t at = (static_cast<size_t>(y) * width + x) * 3;
        return {pixels[at], pixels[at + 1], pixels[at + 2]};
    }
};

CDecoded Decode(const std::string& png) {
    CDecoded decoded;
    int channels = 0;
    unsigned char* pixels = stbi_load_from_memory(
        reinterpret_cast<const unsigned char*>(png.data()), static_cast<int>(png.size()),
        &decoded.width, &decoded.height, &channels, 3);
    EXPECT_NE(pixels, nullptr);
    if (pixels) {
        decoded.pixels.assign(pixels,
                              pixels + static_cast<size_t>(decoded.width) * decoded.height * 3);
        stbi_image_free(pixels);
    }
    return decoded;
}

CDecoded Preview(const std::string& file, CPreviewChoice choice) {
    CPicture picture(choice.width, choice.height, BackgroundColour);
    int64_t particles = 0;
    const Velpo::CResult drawn = DrawFramePicture(choice, file, picture, particles);
    EXPECT_TRUE(drawn.Succeeded()) << drawn.Message();
    std::string png;
    EXPECT_TRUE(EncodePng(picture, png).Succeeded());
    return Decode(png);
}

// Where pixels of `colour` lie in a region: how many, and their mean x.
struct CFound {
    int count = 0;
    double meanX = 0.0;
};

CFound Find(const CDecoded& picture, const CRegion& region, CRgb colour) {
    CFound found;
    double sumX = 0;
    for (int y = region.y; y < region.y + region.height; ++y) {
        for (int x = region.x; x < region.x + region.width; ++x) {
            if (picture.At(x, y) == colour) {
                ++found.count;
                sumX += x;
            }
        }
    }
    found.meanX = found.count ? sumX / found.count : 0.0;
    return found;
}

TEST(PreviewPicture, PngDecodesToTheSizeWithPointsWhereTheyBelong) {
    CScratch scratch;
    const std::string file = scratch / "f.pdc";
    // Two corners of the framed box, far apart: (-1,-1) lower left, (1,1)
    // upper right, one pixel each.
    WriteFile(file, FrameBytes({{-1, -1, 0}, {1, 1, 0}}, {0, 1}));
    CPreviewChoice choice;
    choice.width = 320;
    choice.height = 240;
    choice.pointSize = 1;
    const CDecoded plain = Preview(file, choice);
    ASSERT_EQ(plain.width, 320);
    ASSERT_EQ(plain.height, 240);
    // The view is the picture above the legend band; the box of 2x2 units
    // spans 90% of its height, centred.
    const int viewHeight = 240 - LegendHeight(TextScale(320, 240));
    const double half = viewHeight * 0.45;
    const int lowX = static_cast<int>(160 - half);
    const int lowY = static_cast<int>(viewHeight / 2.0 + half);
    const int highX = static_cast<int>(160 + half);
    const int highY = static_cast<int>(viewHeight / 2.0 - half);
    EXPECT_EQ(plain.At(lowX, std::min(lowY, viewHeight - 1)), PlainPointColour);
    EXPECT_EQ(plain.At(highX, highY), PlainPointColour);
    EXPECT_EQ(plain.At(160, viewHeight / 2), BackgroundColour);
    EXPECT_EQ(plain.At(5, 5), BackgroundColour);

    choice.colour = "heat";
    const CDecoded coloured = Preview(file, choice);
    EXPECT_EQ(coloured.At(lowX, std::min(lowY, viewHeight - 1)), MapColour(0.0));
    EXPECT_EQ(coloured.At(highX, highY), MapColour(1.0));
}

TEST(PreviewPicture, NearerPointsCoverFartherOnesWhateverTheirOrder) {
    CScratch scratch;
    CPreviewChoice choice;
    choice.width = 200;
    choice.height = 200;
    choice.colour = "heat";
    choice.pointSize = 5;
    // Two particles at the same x, y; the one at z 1 is nearer (looking
    // along -z). A third, NaN-valued, off to the side, grey.
    const std::vector<CVec3> nearFirst{{0, 0, 1}, {0, 0, -1}, {2, 2, 0}};
    const std::vector<CVec3> farFirst{{0, 0, -1}, {0, 0, 1}, {2, 2, 0}};
    WriteFile(scratch / "a.pdc", FrameBytes(nearFirst, {1, 0, NaN}));
    WriteFile(scratch / "b.pdc", FrameBytes(farFirst, {0, 1, NaN}));
    for (const char* name : {"a.pdc", "b.pdc"}) {
        const CDecoded picture = Preview(scratch / name, choice);
        const int viewHeight = 200 - LegendHeight(TextScale(200, 200));
        // The box is (0,0)..(2,2): the pair lands at its lower left.
        const double half = viewHeight * 0.45;
        const int x = static_cast<int>(100 - half);
        const int y = static_cast<int>(viewHeight / 2.0 + half);
        EXPECT_EQ(picture.At(x, std::min(y, viewHeight - 1)), MapColour(1.0)) << name;
        EXPECT_EQ(
            picture.At(static_cast<int>(100 + half), static_cast<int>(viewHeight / 2.0 - half)),
            NonFiniteColour)
            << name;
    }
}

TEST(PreviewPicture, NonFinitePositionsAreCountedAndLeaveTheFramingAlone) {
    CScratch scratch;
    WriteFile(scratch / "n.pdc",
              FrameBytes({{0, 0, 0}, {Inf, 0, 0}, {NaN, 1, 1}, {2, 1, 0}}, {1, 2, 3, 4}));
    CParticleFrame frame;
    ASSERT_TRUE(ReadParticleFrame(scratch / "n.pdc", {true, ""}, frame).Succeeded());
    const CBounds bounds = BoundsOf(frame);
    EXPECT_EQ(bounds.min, (CVec3{0, 0, 0}));
    EXPECT_EQ(bounds.max, (CVec3{2, 1, 0}));
    CPicture picture(100, 100, BackgroundColour);
    const CRenderCounts counts =
        RenderPoints(picture, {0, 0, 100, 100}, CProjection({}, bounds, 100, 100), frame, {}, 1);
    EXPECT_EQ(counts.drawn, 2);
    EXPECT_EQ(counts.noPosition, 2);
    EXPECT_EQ(counts.outside, 0);
    EXPECT_EQ(DrawnDetail(4, counts), "4 particles, 2 with a NaN/inf position not drawn");
}

TEST(PreviewFrame, RecordsAreFoundOrTheFileIsNamedWithTheReason) {
    CScratch scratch;
    CPdcBytes noPosition;
    noPosition.Header(1, 1).Record("id", 3).Double(1);
    CPdcBytes scalarPosition;
    scalarPosition.Header(1, 1).Record("position", 3).Double(1);
    std::string truncated = FrameBytes({{0, 0, 0}, {1, 1, 1}}, {1, 2});
    truncated.resize(truncated.size() - 5);
    std::string forged = FrameBytes({{0, 0, 0}}, {1});
    forged[23] = 100;  // particleCount 100 for a record of one
    struct CCase {
        std::string bytes;
        std::string colour;
        std::string message;
    };
    const CCase cases[] = {
        {noPosition.Bytes(), "", "no record \"position\""},
        {scalarPosition.Bytes(), "", "not vectors"},
        {FrameBytes({{0, 0, 0}}, {1}), "velocity", "no record \"velocity\" for --color"},
        {truncated, "", "truncated"},
        {forged, "", "forged particle count"},
        {"PDC", "", "truncated header"},
    };
    for (const CCase& c : cases) {
        const std::string file = scratch / "bad.pdc";
        WriteFile(file, c.bytes);
        CParticleFrame frame;
        const Velpo::CResult read = ReadParticleFrame(file, {true, c.colour}, frame);
        ASSERT_FALSE(read.Succeeded()) << c.message;
        EXPECT_EQ(read.Message().rfind(file + ": ", 0), 0u) << read.Message();
        EXPECT_NE(read.Message().find(c.message), std::string::npos) << read.Message();
    }
}

TEST(PreviewFrame, VectorLengthsAndSingleValuesGiveTheStatistics) {
    CScratch scratch;
    CPdcBytes bytes;
    bytes.Header(3, 3).Record("velocity", 5).Doubles({3, 4, 0, 0, 0, 2, NaN, 0, 0});
    bytes.Record("mass", 2).Double(2.5);
    bytes.Record("position", 4).Doubles({1, 2, 3});
    WriteFile(scratch / "v.pdc", bytes.Bytes());
    CParticleFrame frame;
    ASSERT_TRUE(ReadParticleFrame(scratch / "v.pdc", {true, "velocity"}, frame).Succeeded());
    EXPECT_EQ(frame.particles, 3);
    EXPECT_EQ(frame.Drawn(), 1);  // one shared position
    const CColourStats lengths = ColourStatsOf(frame);
    EXPECT_EQ(lengths.min, 2.0);
    EXPECT_EQ(lengths.max, 5.0);
    EXPECT_EQ(lengths.Mean(), 3.5);
    EXPECT_EQ(lengths.nonFinite, 1);
    const CBounds bounds = BoundsOf(frame);
    EXPECT_EQ(bounds.min, (CVec3{1, 2, 3}));
    EXPECT_EQ(bounds.max, (CVec3{1, 2, 3}));

    ASSERT_TRUE(ReadParticleFrame(scratch / "v.pdc", {false, "mass"}, frame).Succeeded());
    const CColourStats single = ColourStatsOf(frame);
    EXPECT_EQ(single.finite, 3);
    EXPECT_EQ(single.Mean(), 2.5);
}

// Of records sharing a name, the one the nodes deliver is drawn: the last
// "position" that holds vectors, the last record of the colour's name.
TEST(PreviewFrame, TheRecordTheNodesDeliverIsDrawn) {
    CScratch scratch;
    CPdcBytes bytes;
    bytes.Header(2, 6).Record("position", 5).Doubles({0, 0, 0, 1, 1, 1});
    bytes.Record("heat", 3).Doubles({1, 2});
    bytes.Record("position", 5).Doubles({5, 6, 7, 8, 9, 10});
    bytes.Record("position", 3).Doubles({-1, -2});  // numbers: no Vector slot takes them
    bytes.Record("heat", 3).Doubles({30, 40});
    bytes.Record("position", 0).Int(3);
    WriteFile(scratch / "twice.pdc", bytes.Bytes());
    CParticleFrame frame;
    ASSERT_TRUE(ReadParticleFrame(scratch / "twice.pdc", {true, "heat"}, frame).Succeeded());
    EXPECT_EQ(frame.positions.values, (std::vector<double>{5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(frame.colour.values, (std::vector<double>{30, 40}));
    const CBounds bounds = BoundsOf(frame);
    EXPECT_EQ(bounds.min, (CVec3{5, 6, 7}));
    ASSERT_TRUE(ReadParticleFrame(scratch / "twice.pdc", {true, "position"}, frame).Succeeded());
    EXPECT_EQ(frame.colour.values, (std::vector<double>{3}));  // the last, whatever its code
    EXPECT_EQ(frame.positions.values, (std::vector<double>{5, 6, 7, 8, 9, 10}));
}

// A sheet of frames p.1 ... p.N of one particle each at the x given; NaN
// for a frame that cannot be read.
class PreviewSequence : public testing::Test {
protected:
    std::vector<CSequenceFrame> Frames(const std::vector<double>& xs) {
        std::vector<CSequenceFrame> frames;
        for (size_t i = 0; i < xs.size(); ++i) {
            const std::string file = scratch_ / ("p." + std::to_string(i + 1) + ".pdc");
            const std::string bytes = FrameBytes({{xs[i], 0, 0}}, {1});
            WriteFile(file, std::isnan(xs[i]) ? bytes.substr(0, 40) : bytes);
            frames.push_back({static_cast<int32_t>(i + 1), file});
        }
        return frames;
    }

    CPreviewChoice Choice() {
        CPreviewChoice choice;
        choice.width = 480;
        choice.height = 270;
        choice.pointSize = 3;
        choice.output = scratch_ / "out.png";
        return choice;
    }

    // The inner region of each tile, as the sheet lays them out.
    std::vector<CRegion> Tiles(size_t count, const CPreviewChoice& choice) const {
        const int legend = LegendHeight(TextScale(choice.width, choice.height));
        const CSheetLayout layout = LayOutSheet(count, choice.width, choice.height - legend);
        std::vector<CRegion> tiles;
        for (size_t i = 0; i < count; ++i) {
            const CRegion tile = layout.Tile(i);
            tiles.push_back({tile.x + 1, tile.y + 1, tile.width - 2, tile.height - 2});
        }
        return tiles;
    }

    CDecoded Written() const { return Decode(VelpoCommandTest::ReadFile(scratch_ / "out.png")); }
    bool Exists() const { return std::filesystem::exists(scratch_ / "out.png"); }

    CScratch scratch_;
    CSequenceChoice sequence_{std::nullopt, CShard(), 2, false};
    CKeptConsole console_;
};

// Every tile is framed to the bounds of the whole sequence, so a particle
// that moves from x = 0 to x = 10 shows at the left of the first tile and
// at the right of the second (framed to its own bounds, each would sit in
// the middle of its tile).
TEST_F(PreviewSequence, SheetTilesShareTheBoundsOfTheWholeSequence) {
    const CPreviewChoice choice = Choice();
    const std::vector<CSequenceFrame> frames = Frames({0, 10});
    ASSERT_TRUE(WriteSheet(choice, "p.#.pdc", frames, sequence_, console_).problem);
    const CDecoded sheet = Written();
    const std::vector<CRegion> tiles = Tiles(2, choice);
    const CFound left = Find(sheet, tiles[0], PlainPointColour);
    const CFound right = Find(sheet, tiles[1], PlainPointColour);
    ASSERT_GT(left.count, 0);
    ASSERT_GT(right.count, 0);
    EXPECT_LT(left.meanX, tiles[0].x + 0.15 * tiles[0].width);
    EXPECT_GT(right.meanX, tiles[1].x + 0.85 * tiles[1].width);
    EXPECT_EQ(Find(sheet, tiles[0], UnreadColour).count, 0);
}

// A frame that cannot be read is marked in its tile; the others are drawn
// (on the bounds of the frames read) and the sheet written, exit status 1.
TEST_F(PreviewSequence, SheetMarksTheFramesItCannotRead) {
    const CPreviewChoice choice = Choice();
    const std::vector<CSequenceFrame> frames = Frames({0, NaN, 10});
    const CSequencePicture marked = WriteSheet(choice, "p.#.pdc", frames, sequence_, console_);
    EXPECT_EQ(marked.problem.Message(),
              "1 of 3 frames could not be read; they are marked on the sheet");
    EXPECT_NE(marked.written.find("a sheet of 3 frames"), std::string::npos) << marked.written;
    EXPECT_NE(console_.err.find("velpo preview: error: "), std::string::npos) << console_.err;
    ASSERT_TRUE(Exists());
    const CDecoded sheet = Written();
    const std::vector<CRegion> tiles = Tiles(3, choice);
    EXPECT_GT(Find(sheet, tiles[1], UnreadColour).count, 20);
    EXPECT_EQ(Find(sheet, tiles[1], PlainPointColour).count, 0);
    for (const size_t drawn : {0u, 2u}) {
        SCOPED_TRACE(drawn);
        EXPECT_EQ(Find(sheet, tiles[drawn], UnreadColour).count, 0);
        EXPECT_GT(Find(sheet, tiles[drawn], PlainPointColour).count, 0);
    }
    EXPECT_GT(Find(sheet, tiles[2], PlainPointColour).meanX, tiles[2].x + 0.85 * tiles[2].width);

    // Nothing to draw: nothing written.
    std::filesystem::remove(scratch_ / "out.png");
    const CSequencePicture none =
        WriteSheet(choice, "p.#.pdc", Frames({NaN, NaN}), sequence_, console_);
    EXPECT_EQ(none.problem.Message(), "none of the 2 frames could be read; no sheet written");
    EXPECT_EQ(none.written, "");
    EXPECT_FALSE(Exists());
}

TEST_F(PreviewSequence, ChartMarksTheFramesItCannotRead) {
    CPreviewChoice choice = Choice();
    choice.colour = "heat";
    ASSERT_TRUE(WritePlot(choice, "p.#.pdc", Frames({0, 1, 2}), sequence_, console_).problem);
    const CRegion whole{0, 0, choice.width, choice.height};
    EXPECT_EQ(Find(Written(), whole, UnreadColour).count, 0);
    EXPECT_EQ(
        WritePlot(choice, "p.#.pdc", Frames({0, NaN, 2}), sequence_, console_).problem.Message(),
        "1 of 3 frames could not be read; they are marked on the chart");
    EXPECT_GT(Find(Written(), whole, UnreadColour).count, 0);
    std::filesystem::remove(scratch_ / "out.png");
    EXPECT_FALSE(WritePlot(choice, "p.#.pdc", Frames({NaN}), sequence_, console_).problem);
    EXPECT_FALSE(Exists());
}

TEST(PreviewLegend, WholeNumbersKeepTheirDigits) {
    const std::pair<double, const char*> cases[] = {
        {99999, "99999"}, {300000, "300000"}, {-1234567, "-1234567"}, {1e7, "1e+07"},
        {0.5, "0.5"},     {-0.0, "0"},        {0.000123, "0.000123"}, {2.0 / 3, "0.6667"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(ShortNumber(value), text) << value;
    }
}

}  // namespace
}  // namespace VelpoTools
