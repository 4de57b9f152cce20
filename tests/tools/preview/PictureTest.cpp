// Drawing into a preview: every call clips to the picture, lines keep their
// ends, and text is cut from the front so that a file's name stays readable.
#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <string>

#include "tools/preview/Lettering.h"
#include "tools/preview/Picture.h"
#include "tools/preview/PreviewChoice.h"

namespace VelpoTools {
namespace {

constexpr CRgb Back{1, 2, 3};
constexpr CRgb Ink{200, 100, 50};

int Inked(const CPicture& picture) {
    int count = 0;
    for (int y = 0; y < picture.Height(); ++y) {
        for (int x = 0; x < picture.Width(); ++x) {
            count += picture.At(x, y) == Ink ? 1 : 0;
        }
    }
    return count;
}

TEST(PreviewPicture, RectanglesAreClippedToThePicture) {
    struct Case {
        int x;
        int y;
        int width;
        int height;
        int inked;
    } cases[] = {
        {2, 3, 4, 5, 20},
        {-2, -3, 4, 5, 4},
        {8, 8, 10, 10, 4},
        {-5, 4, 100, 1, 10},
        {0, 0, 0, 5, 0},
        {5, 5, -3, 2, 0},
        {INT_MAX - 1, 0, INT_MAX, 5, 0},
        {-INT_MAX, -INT_MAX, INT_MAX, INT_MAX, 0},
        {-10, -10, INT_MAX, INT_MAX, 100},
    };
    for (const Case& c : cases) {
        CPicture picture(10, 10, Back);
        picture.FillRect(c.x, c.y, c.width, c.height, Ink);
        EXPECT_EQ(Inked(picture), c.inked)
            << c.x << "," << c.y << " " << c.width << "x" << c.height;
    }
    CPicture picture(10, 10, Back);
    picture.Put(-1, 0, Ink);
    picture.Put(10, 0, Ink);
    picture.Put(0, 10, Ink);
    EXPECT_EQ(Inked(picture), 0);
    picture.Put(9, 9, Ink);
    EXPECT_EQ(picture.At(9, 9), Ink);
    EXPECT_EQ(picture.At(0, 0), Back);
    EXPECT_EQ(picture.At(10, 0), (CRgb{0, 0, 0}));
    // Rows run top to bottom, three bytes a pixel.
    EXPECT_EQ(picture.Pixels()[(9 * 10 + 9) * 3], Ink.r);
    EXPECT_EQ(picture.Pixels()[(9 * 10 + 9) * 3 + 2], Ink.b);

    CPicture none(-5, 3, Back);
    EXPECT_EQ(none.Width(), 0);
    none.FillRect(0, 0, 5, 5, Ink);
    EXPECT_EQ(Inked(none), 0);
}

TEST(PreviewPicture, LinesIncludeBothEndsAndSkipWhatIsNotFinite) {
    struct Case {
        double x0;
        double y0;
        double x1;
        double y1;
        int thickness;
        int inked;
    } cases[] = {
        {0, 0, 9, 0, 1, 10},
        {3, 3, 3, 3, 1, 1},
        {0, 0, 9, 9, 1, 10},
        {2, 5, 7, 5, 3, 24},  // a 3-pixel square at each of 6 points: 8 x 3
        {-100, 5, 1e300, 5, 1, 20},
        {0, 0, std::numeric_limits<double>::infinity(), 0, 1, 0},
        {0, std::numeric_limits<double>::quiet_NaN(), 5, 5, 1, 0},
    };
    for (const Case& c : cases) {
        CPicture picture(20, 10, Back);
        picture.Line(c.x0, c.y0, c.x1, c.y1, Ink, c.thickness);
        EXPECT_EQ(Inked(picture), c.inked) << c.x0 << "," << c.y0 << " " << c.x1 << "," << c.y1;
        if (c.inked > 0 && c.x0 >= 0) {
            EXPECT_EQ(picture.At(static_cast<int>(c.x0), static_cast<int>(c.y0)), Ink);
        }
    }
}

TEST(PreviewLettering, TextIsCutFromTheFrontToFitAndUnknownBytesDrawAsQuestionMarks) {
    const std::string name = "/cache/shots/fluid_final.0042.pdc";
    const int scale = 2;
    const int whole = TextWidth(name, scale);
    EXPECT_GT(whole, 0);
    EXPECT_EQ(TextWidth(name, 1) * 2, whole);
    EXPECT_EQ(FitText(name, whole, scale), name);
    for (const int width : {whole - 1, whole / 2, 60}) {
        const std::string fitted = FitText(name, width, scale);
        ASSERT_GE(fitted.size(), 4u) << width;
        EXPECT_EQ(fitted.substr(0, 3), "...") << width;
        EXPECT_LE(TextWidth(fitted, scale), width);
        // The end of the name is kept, as much of it as fits.
        EXPECT_EQ(name.substr(name.size() - (fitted.size() - 3)), fitted.substr(3));
        const std::string longer = "..." + name.substr(name.size() - (fitted.size() - 2));
        EXPECT_GT(TextWidth(longer, scale), width);
    }
    EXPECT_EQ(FitText(name, 1, scale), "");
    EXPECT_EQ(FitText("", 0, scale), "");

    // A control byte or a byte of UTF-8 is drawn like '?': never skipped,
    // never drawn as something else.
    for (const std::string odd : {"\x1b", "\xc3"}) {
        CPicture a(40, 20, Back);
        CPicture b(40, 20, Back);
        DrawText(a, 2, 2, "a" + odd + "b", 1, Ink);
        DrawText(b, 2, 2, "a?b", 1, Ink);
        EXPECT_GT(Inked(a), 0);
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 40; ++x) {
                ASSERT_EQ(a.At(x, y), b.At(x, y)) << x << "," << y;
            }
        }
        EXPECT_EQ(TextWidth("a" + odd + "b", 1), TextWidth("a?b", 1));
    }
}

TEST(PreviewLabels, AttributesAreNamedByHowTheyAreColoured) {
    EXPECT_EQ(AttributeLabel("age", 1, false), "age");
    EXPECT_EQ(AttributeLabel("velocity", 3, false), "velocity (length)");
    EXPECT_EQ(AttributeLabel("colour", 3, true), "colour as RGB");
    EXPECT_EQ(AttributeLabel("bad\nname", 1, false), "bad\\nname");
}

}  // namespace
}  // namespace VelpoTools
