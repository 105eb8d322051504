// Tests of the facet renderer: shading, culling, corner order, the cell outline flags, shade
// wrapping, degenerate and non-finite corners, all drawn on a small canvas seen from above.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>

#include "support/testutil.h"
#include "view3d/view3d.h"

namespace {

const Color white = 0xffffff;

Color red(int intensity) {
    return intensity << 16;
}

PixelSet rectangle(int left, int top, int right, int bottom) {
    PixelSet pixels;
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            pixels.insert({x, y});
        }
    }
    return pixels;
}

PixelSet border(int left, int top, int right, int bottom) {
    PixelSet pixels;
    for (const auto& p : rectangle(left, top, right, bottom)) {
        if (p.first == left || p.first == right || p.second == top || p.second == bottom) {
            pixels.insert(p);
        }
    }
    return pixels;
}

// A 24 x 24 canvas looking straight down the z axis (azimuth 0, elevation 90): plot x runs to
// the right and plot y up the picture, one pixel per plot unit around the centre (12, 12).
// The cell below has corners at x +-7.5 and y +-5.5, so its offsets truncate to +-7 and +-5
// and it covers columns 5 to 19 and rows 7 to 17, counter-clockwise from above as the scene
// orders its cells: P0 bottom left, P1 bottom right, P2 top right, P3 top left.
class Facet : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(
            vex3D_InitializePrism(-12, -12, -1, 12, 12, 1, 0, 12.0, 0.0, 90.0, -1000.0, 1000.0), 1);
        setLight(0.75, 0.4330127018922193, 0.5);  // the scene's light
    }

    void setLight(double x, double y, double z) { lightVector = {x, y, z}; }

    // Draws the cell with the given flags, returning what it printed.
    std::string draw(Point3 p0, Point3 p1, Point3 p2, Point3 p3, int drawQuadOutline,
                     int skipTriangles, int cullBackFaces, int shadeLow, int shadeHigh,
                     int outlineOnly) {
        testing::internal::CaptureStdout();
        vex3D_DrawShadedQuad(p0, p1, p2, p3, drawQuadOutline, skipTriangles, cullBackFaces,
                             shadeLow, shadeHigh, outlineOnly);
        return testing::internal::GetCapturedStdout();
    }

    TestCanvas canvas{24, 24, white, 0x00ff00};
    const Point3 p0 = {-7.5, -5.5, 0.0};
    const Point3 p1 = {7.5, -5.5, 0.0};
    const Point3 p2 = {7.5, 5.5, 0.0};
    const Point3 p3 = {-7.5, 5.5, 0.0};
    // The same cell with P1 raised to the top of the box. Its projection is unchanged, but
    // its normals are N1 = (1, 0, -15) / sqrt(226) and N2 = (0, -1, -11) / sqrt(122).
    const Point3 p1Raised = {7.5, -5.5, 1.0};
    // Well inside triangle 1 (P0, P1, P2) and triangle 2 (P2, P3, P0), off the diagonal.
    const std::pair<int, int> inTriangle1 = {17, 15};
    const std::pair<int, int> inTriangle2 = {7, 9};
    const PixelSet cell = rectangle(5, 7, 19, 17);

    Color at(std::pair<int, int> p) const { return canvas.at(p.first, p.second); }
};

TEST_F(Facet, FlatCellFillsBothTrianglesAtHalfIntensity) {
    // N = (0, 0, -1) for both triangles; dot = -0.5 and 0.5 * 255 = 127.5 truncates to 127.
    EXPECT_EQ(draw(p0, p1, p2, p3, 0, 0, 0, 0, 255, 0), "");
    EXPECT_EQ(canvas.pixelsOf(red(127)), cell);
    EXPECT_EQ(canvas.pixelsNot(white), cell);
}

TEST_F(Facet, ShadeFollowsEachTriangleOwnNormal) {
    // L = (0.6, 0, 0.8): |dot1| = 11.4 / sqrt(226) -> 193.37; |dot2| = 8.8 / sqrt(122) -> 203.16.
    setLight(0.6, 0.0, 0.8);
    draw(p0, p1Raised, p2, p3, 0, 0, 0, 0, 255, 0);
    EXPECT_EQ(at(inTriangle1), red(193));
    EXPECT_EQ(at(inTriangle2), red(203));
    // shadeLow lifts the floor: 0.7583 * (255 - 100) + 100 = 217.5 -> 217.
    draw(p0, p1Raised, p2, p3, 0, 0, 0, 100, 255, 0);
    EXPECT_EQ(at(inTriangle1), red(217));
}

TEST_F(Facet, CullingDrawsOnlyNegativeDotProducts) {
    // Light along x: the flat cell's dot product is exactly 0, which culling rejects.
    setLight(1.0, 0.0, 0.0);
    draw(p0, p1, p2, p3, 1, 0, 1, 40, 255, 0);
    EXPECT_EQ(canvas.pixelsNot(white), PixelSet());
    // Without culling the same cell is drawn, at the low shade.
    draw(p0, p1, p2, p3, 0, 0, 0, 40, 255, 0);
    EXPECT_EQ(canvas.pixelsOf(red(40)), cell);

    // Light from above: dot -1 is kept, at full intensity.
    setLight(0.0, 0.0, 1.0);
    draw(p0, p1, p2, p3, 0, 0, 1, 0, 255, 0);
    EXPECT_EQ(canvas.pixelsOf(red(255)), cell);
}

TEST_F(Facet, CullingDecidesPerTriangle) {
    // L proportional to (20, 0, 1): dot1 = (20 - 15) / ... > 0 is culled, dot2 = -11 / ... is
    // kept, shade 255 * 11 / sqrt(122 * 401) = 12.66 -> 12.
    const double norm = std::sqrt(401.0);
    setLight(20.0 / norm, 0.0, 1.0 / norm);
    draw(p0, p1Raised, p2, p3, 0, 0, 1, 0, 255, 0);
    EXPECT_EQ(at(inTriangle1), white);
    EXPECT_EQ(at(inTriangle2), red(12));
    EXPECT_EQ(canvas.pixelsOf(red(12)), canvas.pixelsNot(white));
}

TEST_F(Facet, ReversedCornerOrderSwapsTheShades) {
    setLight(0.6, 0.0, 0.8);
    // Same diagonal P0-P2, opposite normals: each triangle takes the other's shade.
    draw(p0, p3, p2, p1Raised, 0, 0, 0, 0, 255, 0);
    EXPECT_EQ(at(inTriangle1), red(203));
    EXPECT_EQ(at(inTriangle2), red(193));

    // With culling the reversed cell faces away from this light and nothing is drawn ...
    TestCanvas fresh(24, 24, white);
    draw(p0, p3, p2, p1Raised, 1, 0, 1, 0, 255, 0);
    EXPECT_EQ(fresh.pixelsNot(white), PixelSet());
    // ... and is drawn in full when lit from below.
    setLight(-0.6, 0.0, -0.8);
    draw(p0, p3, p2, p1Raised, 0, 0, 1, 0, 255, 0);
    EXPECT_EQ(fresh.at(17, 15), red(203));
    EXPECT_EQ(fresh.at(7, 9), red(193));
}

TEST_F(Facet, SkippedTrianglesWithOutlineDrawRedWithTheCallersPen) {
    vexRaster_SetPenSize(1);
    draw(p0, p1, p2, p3, 1, 1, 0, 0, 255, 0);
    // Only red, only around the border: the pen of 1 spreads it one pixel either side.
    EXPECT_EQ(canvas.pixelsOf(0xff0000), canvas.pixelsNot(white));
    PixelSet thickBorder;
    for (const auto& p : rectangle(4, 6, 20, 18)) {
        if (rectangle(7, 9, 17, 15).count(p) == 0) {
            thickBorder.insert(p);
        }
    }
    EXPECT_EQ(canvas.pixelsOf(0xff0000), thickBorder);
    vexRaster_SetPenSize(0);
}

TEST_F(Facet, OutlineAloneDrawsBlueOverTheFilledTriangles) {
    vexRaster_SetPenSize(2);  // the triangles reset it to 0 before the outline
    draw(p0, p1, p2, p3, 1, 0, 0, 0, 255, 0);
    EXPECT_EQ(canvas.pixelsOf(0x0000ff), border(5, 7, 19, 17));
    EXPECT_EQ(canvas.pixelsOf(red(127)), rectangle(6, 8, 18, 16));
    EXPECT_EQ(canvas.pixelsNot(white), cell);
}

TEST_F(Facet, CulledOutlineIsNotDrawn) {
    setLight(0.0, 0.0, -1.0);  // the cell's mean normal faces away
    draw(p0, p1, p2, p3, 1, 1, 1, 0, 255, 0);
    EXPECT_EQ(canvas.pixelsNot(white), PixelSet());
    setLight(0.0, 0.0, 1.0);
    draw(p0, p1, p2, p3, 1, 1, 1, 0, 255, 0);
    EXPECT_EQ(canvas.pixelsOf(0xff0000), border(5, 7, 19, 17));
}

TEST_F(Facet, OutlineOnlyLeavesTheInteriors) {
    draw(p0, p1, p2, p3, 0, 0, 0, 0, 255, 1);
    PixelSet drawn = canvas.pixelsNot(white);
    EXPECT_EQ(canvas.pixelsOf(red(127)), drawn);
    for (const auto& p : border(5, 7, 19, 17)) {
        EXPECT_EQ(drawn.count(p), 1u) << p.first << "," << p.second;
    }
    EXPECT_EQ(at(inTriangle1), white);
    EXPECT_EQ(at(inTriangle2), white);
    // The border and one diagonal, nothing more.
    EXPECT_LE(drawn.size(), border(5, 7, 19, 17).size() + 15);
}

TEST_F(Facet, ShadeWrapsToItsLowByte) {
    // |dot| = 0.5 on the flat cell.
    draw(p0, p1, p2, p3, 0, 0, 0, 0, 512, 0);  // 256 -> red 0
    EXPECT_EQ(canvas.pixelsOf(0x000000), cell);
    draw(p0, p1, p2, p3, 0, 0, 0, 0, 514, 0);  // 257 -> red 1
    EXPECT_EQ(canvas.pixelsOf(red(1)), cell);
    draw(p0, p1, p2, p3, 0, 0, 0, -1, -1, 0);  // -1 -> red 255
    EXPECT_EQ(canvas.pixelsOf(red(255)), cell);
}

TEST_F(Facet, ExtremeShadeRangesAreDefined) {
    // The int range difference wraps: INT_MAX - INT_MIN is -1, so the shade is
    // 0.5 * -1 + INT_MIN = -2147483648.5, truncated to INT_MIN, red 0.
    draw(p0, p1, p2, p3, 0, 0, 0, INT_MIN, INT_MAX, 0);
    EXPECT_EQ(canvas.pixelsOf(0x000000), cell);
    // A shade beyond the int range is held at INT_MAX, whose low byte is 255.
    draw(p0, p1, p2, p3, 0, 0, 0, INT_MAX, INT_MIN + (1 << 30) - 1, 0);
    EXPECT_EQ(canvas.pixelsOf(red(255)), cell);
}

TEST_F(Facet, RepeatedCornersAreReportedAndShadedLow) {
    setLight(0.0, 0.0, 1.0);
    // P1 = P0: one message; triangle 1 collapses onto the diagonal, triangle 2 keeps its own
    // normal (0, 0, -11 / sqrt(346)), shade 0.5914 * (255 - 40) + 40 = 167.1 -> 167.
    EXPECT_EQ(draw(p0, p0, p2, p3, 0, 0, 0, 40, 255, 0), "zero-length vector");
    EXPECT_EQ(at(inTriangle2), red(167));
    EXPECT_EQ(at(inTriangle1), white);

    // P3 = P0: triangle 1 is whole and its normal is zero, so it takes shadeLow.
    TestCanvas second(24, 24, white);
    EXPECT_EQ(draw(p0, p1, p2, p0, 0, 0, 0, 40, 255, 0), "zero-length vector");
    EXPECT_EQ(second.at(17, 15), red(40));
    EXPECT_EQ(second.at(7, 9), white);

    // All four equal: four messages run together, one pixel at the low shade.
    TestCanvas third(24, 24, white);
    const Point3 o = {0.0, 0.0, 0.0};
    const std::string four =
        "zero-length vectorzero-length vectorzero-length vector"
        "zero-length vector";
    EXPECT_EQ(draw(o, o, o, o, 0, 0, 0, 40, 255, 0), four);
    EXPECT_EQ(third.pixelsNot(white), PixelSet({{12, 12}}));
    EXPECT_EQ(third.at(12, 12), red(40));

    // The messages come whatever the flags say, even when nothing is drawn.
    TestCanvas fourth(24, 24, white);
    EXPECT_EQ(draw(o, o, o, o, 0, 1, 1, 40, 255, 0), four);
    EXPECT_EQ(fourth.pixelsNot(white), PixelSet());
}

TEST_F(Facet, NonFiniteCornersDrawOnlyTheLowShade) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // Placed at P1, which both normals are built from.
    const Point3 bad[] = {{nan, -5.5, 0.0}, {inf, -5.5, 0.0}, {7.5, -inf, 0.0},
                          {7.5, -5.5, nan}, {7.5, -5.5, inf}, {-1e300, 1e300, 0.0}};
    for (const Point3& corner : bad) {
        SCOPED_TRACE(testing::Message() << corner.x << " " << corner.y << " " << corner.z);
        // NaN dot products take shadeLow; the outline stays blue.
        TestCanvas drawn(24, 24, white);
        draw(p0, corner, p2, p3, 1, 0, 0, 40, 255, 0);
        for (const auto& p : drawn.pixelsNot(white)) {
            Color c = drawn.at(p.first, p.second);
            EXPECT_TRUE(c == red(40) || c == 0x0000ff) << std::hex << c;
        }
        EXPECT_EQ(drawn.at(19, 7), 0x0000ff);  // P2 to P3 is still on the canvas
        // With culling nothing can be known to face the light.
        TestCanvas culled(24, 24, white);
        draw(p0, corner, p2, p3, 1, 0, 1, 40, 255, 0);
        EXPECT_EQ(culled.pixelsNot(white), PixelSet());
    }
}

}  // namespace
