// Tests of line drawing: the stepping rule, clipping, agreement of the unclipped runs with the
// clipped walk, an independent reference walk, and lines far beyond the canvas.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "raster/raster.h"
#include "raster/raster_internal.h"
#include "support/testutil.h"

namespace {

// Red on blue, so that a red/blue exchange anywhere would show.
const Color paper = 0x0000ff;
const Color ink = 0xff0000;

// The line walk written out plainly: the whole line pixel by pixel from the endpoint with the
// smaller major coordinate, the accumulator advanced by repeated addition and its integer part
// taken with floating-point floor. Only for lines whose coordinates and differences lie within
// -32768..32767, where this is the 16.16 rule exactly.
PixelSet referenceLine(int width, int height, long long x1, long long y1, long long x2,
                       long long y2) {
    PixelSet pixels;
    auto keep = [&](long long x, long long y) {
        if (x >= 0 && x < width && y >= 0 && y < height) {
            pixels.insert({static_cast<int>(x), static_cast<int>(y)});
        }
    };
    if (x1 == x2 && y1 == y2) {
        keep(x1, y1);
        return pixels;
    }
    bool xMajor = std::llabs(x2 - x1) > std::llabs(y2 - y1);
    long long majorStart = xMajor ? x1 : y1, minorStart = xMajor ? y1 : x1;
    long long majorEnd = xMajor ? x2 : y2, minorEnd = xMajor ? y2 : x2;
    if (majorStart > majorEnd) {
        std::swap(majorStart, majorEnd);
        std::swap(minorStart, minorEnd);
    }
    long long step = (minorEnd - minorStart) * 65536 / (majorEnd - majorStart);
    long long acc = minorStart * 65536;
    for (long long major = majorStart; major <= majorEnd; ++major) {
        long long minor = static_cast<long long>(std::floor(static_cast<double>(acc) / 65536.0));
        if (xMajor) {
            keep(major, minor);
        } else {
            keep(minor, major);
        }
        acc += step;
    }
    return pixels;
}

PixelSet drawnLine(int width, int height, int x1, int y1, int x2, int y2) {
    TestCanvas canvas(width, height, paper, ink);
    vexRaster_DrawLine(x1, y1, x2, y2);
    return canvas.pixelsNot(paper);
}

PixelSet span(int y, int xFrom, int xTo) {
    PixelSet pixels;
    for (int x = xFrom; x <= xTo; ++x) {
        pixels.insert({x, y});
    }
    return pixels;
}

PixelSet column(int x, int yFrom, int yTo) {
    PixelSet pixels;
    for (int y = yFrom; y <= yTo; ++y) {
        pixels.insert({x, y});
    }
    return pixels;
}

struct LineCase {
    int x1, y1, x2, y2;
    PixelSet expected;
};

void expectLines(int width, int height, const std::vector<LineCase>& cases) {
    for (const LineCase& c : cases) {
        EXPECT_EQ(drawnLine(width, height, c.x1, c.y1, c.x2, c.y2), c.expected)
            << "line (" << c.x1 << ", " << c.y1 << ") to (" << c.x2 << ", " << c.y2 << ")";
    }
}

// Draws one line on the cleared canvas with the given routine and returns the frame buffer.
std::vector<unsigned char> render(TestCanvas& canvas, void (*draw)(int, int, int, int), int x1,
                                  int y1, int x2, int y2) {
    vexRaster_Clear();
    draw(x1, y1, x2, y2);
    return canvas.bytes;
}

// The fast path, the clipped walk and the reference must agree on every line given.
void expectAllPathsAgree(int width, int height, const std::vector<LineCase>& lines) {
    TestCanvas canvas(width, height, paper, ink);
    for (const LineCase& l : lines) {
        std::vector<unsigned char> fast =
            render(canvas, vexRaster_DrawLine, l.x1, l.y1, l.x2, l.y2);
        PixelSet fastPixels = canvas.pixelsNot(paper);
        std::vector<unsigned char> walked =
            render(canvas, vexRaster_DrawClippedLine, l.x1, l.y1, l.x2, l.y2);
        ASSERT_EQ(fast, walked) << "line (" << l.x1 << ", " << l.y1 << ") to (" << l.x2 << ", "
                                << l.y2 << ") on " << width << " x " << height;
        ASSERT_EQ(fastPixels, referenceLine(width, height, l.x1, l.y1, l.x2, l.y2))
            << "line (" << l.x1 << ", " << l.y1 << ") to (" << l.x2 << ", " << l.y2 << ") on "
            << width << " x " << height;
    }
}

}  // namespace

// ---- The stepping rule --------------------------------------------------------------------------

TEST(LineDraw, ShortLinesOnTheCanvas) {
    expectLines(11, 13,
                {
                    {4, 5, 4, 5, {{4, 5}}},
                    {0, 0, 3, 1, span(0, 0, 3)},
                    {3, 1, 0, 0, span(0, 0, 3)},
                    {0, 1, 3, 0, {{0, 1}, {1, 0}, {2, 0}, {3, 0}}},
                    {0, 0, 1, 3, column(0, 0, 3)},
                    {0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
                    {0, 3, 3, 0, {{3, 0}, {2, 1}, {1, 2}, {0, 3}}},
                    {5, 7, 2, 7, span(7, 2, 5)},
                    {4, 9, 4, 6, column(4, 6, 9)},
                    {10, 12, 0, 0, referenceLine(11, 13, 10, 12, 0, 0)},
                });
}

TEST(LineDraw, RisingMinorEndsOneShortFallingReachesTheEnd) {
    // step = 2 * 65536 / 5 truncated: acc never reaches 2.0 on the rising line, while on the
    // falling one the truncated (smaller) decrement leaves floor at exactly 0.
    expectLines(11, 13,
                {
                    {0, 0, 5, 2, {{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 1}, {5, 1}}},
                    {5, 2, 0, 0, {{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 1}, {5, 1}}},
                    {0, 2, 5, 0, {{0, 2}, {1, 1}, {2, 1}, {3, 0}, {4, 0}, {5, 0}}},
                    {0, 0, 2, 5, {{0, 0}, {0, 1}, {0, 2}, {1, 3}, {1, 4}, {1, 5}}},
                    {2, 0, 0, 5, {{2, 0}, {1, 1}, {1, 2}, {0, 3}, {0, 4}, {0, 5}}},
                });
}

TEST(LineDraw, MinorCoordinateIsTheFloorEvenBelowZero) {
    // From (0, -1) the accumulator is negative for three steps; truncation toward zero would
    // put (1, 0) and (2, 0) on the canvas, the floor keeps them on row -1.
    PixelSet expected = {{3, 0}, {4, 0}, {5, 0}, {6, 1}, {7, 1}, {8, 2}, {9, 2}, {10, 2}};
    expectLines(11, 13, {{0, -1, 10, 3, expected}, {10, 3, 0, -1, expected}});
}

TEST(LineDraw, EveryPixelGoesThroughThePen) {
    TestCanvas canvas(11, 9, paper, ink);
    vexRaster_SetPenSize(1);
    vexRaster_DrawLine(3, 3, 6, 3);
    PixelSet expected;
    for (int y = 2; y <= 4; ++y) {
        PixelSet row = span(y, 2, 7);
        expected.insert(row.begin(), row.end());
    }
    EXPECT_EQ(canvas.pixelsOf(ink), expected);
    EXPECT_EQ(canvas.pixelsNot(paper), expected);
}

// ---- Clipping -----------------------------------------------------------------------------------

TEST(LineClip, LinesLeavingTheCanvas) {
    EXPECT_EQ(drawnLine(103, 9, -100, 5, 100, 5), span(5, 0, 100));
    // Both endpoints beyond one edge: rejected outright.
    EXPECT_EQ(drawnLine(11, 13, -5, -5, -1, 10), PixelSet());
    EXPECT_EQ(drawnLine(31, 4800, 10, 4800, 20, 5000), PixelSet());
    // Not rejected, walked in full, but every point has x < 0 or y < 0.
    EXPECT_EQ(drawnLine(11, 13, -10, 5, 5, -10), PixelSet());
    // One endpoint just past the right edge: its pixel is dropped.
    EXPECT_EQ(drawnLine(11, 13, 10, 2, 11, 4), PixelSet({{10, 2}, {10, 3}}));
    // A steep line entering from above and leaving below keeps its in-canvas stretch only.
    EXPECT_EQ(drawnLine(11, 13, 3, -20, 7, 30), referenceLine(11, 13, 3, -20, 7, 30));
}

TEST(LineClip, WalkedWithClippingEvenWhenTheFlagIsOff) {
    // Unclipped runs on such a line would wrap into neighbouring rows.
    PixelSet clipped = drawnLine(11, 13, -6, 2, 14, 9);
    clipEnabled = 0;
    PixelSet unflagged = drawnLine(11, 13, -6, 2, 14, 9);
    clipEnabled = 1;
    EXPECT_FALSE(clipped.empty());
    EXPECT_EQ(unflagged, clipped);
}

// ---- Fast path against the clipped walk and the reference ---------------------------------------

TEST(LinePaths, RandomLinesOnASmallCanvasAgree) {
    std::mt19937 random(20240611);
    const int width = 37, height = 23;
    std::uniform_int_distribution<int> x(0, width - 1), y(0, height - 1), kind(0, 7);
    std::vector<LineCase> lines;
    for (int i = 0; i < 4000; ++i) {
        LineCase l{x(random), y(random), x(random), y(random), {}};
        // Horizontal, vertical and diagonal lines take runs of their own; make them common.
        switch (kind(random)) {
            case 0:
                l.y2 = l.y1;
                break;
            case 1:
                l.x2 = l.x1;
                break;
            case 2: {
                int d = std::min(width - 1 - l.x1, height - 1 - l.y1);
                l.x2 = l.x1 + d;
                l.y2 = l.y1 + d;
                break;
            }
            default:
                break;
        }
        lines.push_back(l);
    }
    expectAllPathsAgree(width, height, lines);
}

TEST(LinePaths, RandomLinesAgreeWithAWidePen) {
    // The pen footprint wraps across memory rows at the canvas sides; both paths must write the
    // same bytes there too.
    std::mt19937 random(77);
    std::uniform_int_distribution<int> x(0, 36), y(0, 22);
    TestCanvas canvas(37, 23, paper, ink);
    vexRaster_SetPenSize(1);
    for (int i = 0; i < 500; ++i) {
        int x1 = x(random), y1 = y(random), x2 = x(random), y2 = y(random);
        std::vector<unsigned char> fast = render(canvas, vexRaster_DrawLine, x1, y1, x2, y2);
        std::vector<unsigned char> walked =
            render(canvas, vexRaster_DrawClippedLine, x1, y1, x2, y2);
        ASSERT_EQ(fast, walked) << "line (" << x1 << ", " << y1 << ") to (" << x2 << ", " << y2
                                << ")";
    }
}

TEST(LinePaths, TallCanvasBeyondThe16BitRowRange) {
    // Rows above 32767 put the accumulator past 32 bits; the paths must still agree with the
    // plain 64-bit walk.
    std::mt19937 random(5);
    std::uniform_int_distribution<int> x(0, 6), y(32700, 39999);
    std::vector<LineCase> lines;
    for (int i = 0; i < 200; ++i) {
        lines.push_back({x(random), y(random), x(random), y(random), {}});
    }
    expectAllPathsAgree(7, 40000, lines);
}

TEST(LinePaths, LinesPartlyOrWhollyOffTheCanvasMatchTheReference) {
    std::mt19937 random(9);
    const int width = 37, height = 23;
    std::vector<LineCase> lines;
    std::uniform_int_distribution<int> nearX(-60, 100), nearY(-40, 70);
    for (int i = 0; i < 3000; ++i) {
        lines.push_back({nearX(random), nearY(random), nearX(random), nearY(random), {}});
    }
    // Long lines through a point of the canvas, reaching far out in both directions but with
    // coordinates and differences still within -32768..32767.
    std::uniform_int_distribution<int> anchorX(0, width - 1), anchorY(0, height - 1);
    std::uniform_int_distribution<int> direction(-50, 50), reach(0, 300);
    for (int i = 0; i < 300; ++i) {
        int ax = anchorX(random), ay = anchorY(random);
        int ux = direction(random), uy = direction(random);
        int before = reach(random), after = reach(random);
        lines.push_back({ax - before * ux, ay - before * uy, ax + after * ux, ay + after * uy, {}});
    }
    lines.push_back({-32768, -32768, -1, -1, {}});
    lines.push_back({32767, 32767, 1, 1, {}});
    lines.push_back({-30000, 11, 2767, 3, {}});
    TestCanvas canvas(width, height, paper, ink);
    for (const LineCase& l : lines) {
        render(canvas, vexRaster_DrawLine, l.x1, l.y1, l.x2, l.y2);
        ASSERT_EQ(canvas.pixelsNot(paper), referenceLine(width, height, l.x1, l.y1, l.x2, l.y2))
            << "line (" << l.x1 << ", " << l.y1 << ") to (" << l.x2 << ", " << l.y2 << ")";
    }
}

// ---- Lines beyond the 16-bit range --------------------------------------------------------------

TEST(LineHuge, AxisLinesAndDiagonalsAcrossTheWholeIntRange) {
    // Each of these would take billions of steps if the walk covered the off-canvas stretches.
    expectLines(37, 23,
                {
                    {-1000000, 5, 1000000, 5, span(5, 0, 36)},
                    {INT_MIN, 7, INT_MAX, 7, span(7, 0, 36)},
                    {INT_MAX, 22, INT_MIN, 22, span(22, 0, 36)},
                    {4, INT_MIN, 4, INT_MAX, column(4, 0, 22)},
                    {INT_MIN, INT_MIN, INT_MAX, INT_MAX, referenceLine(37, 23, 0, 0, 22, 22)},
                    {INT_MIN, INT_MIN, INT_MIN, INT_MAX, PixelSet()},
                    {INT_MIN, 3, -1, 3, PixelSet()},
                });
}

TEST(LineHuge, LongSlopedLinesFollowTheirTrueSlope) {
    // y = (x + 1000000) / 2000 - 500 is 0 for x = 0..36. A truncated 16.16 step (32 instead
    // of 32.768) would have drifted twelve rows off by the time the line reaches the canvas.
    expectLines(37, 23, {{-1000000, -500, 1000000, 500, span(0, 0, 36)}});
}

TEST(LineHuge, RandomLongLinesStayOnTheirPath) {
    std::mt19937 random(31);
    const int width = 37, height = 23;
    std::uniform_int_distribution<int> anchorX(0, width - 1), anchorY(0, height - 1);
    std::uniform_int_distribution<int> direction(-1000, 1000), reach(20000, 2140000);
    TestCanvas canvas(width, height, paper, ink);
    for (int i = 0; i < 300; ++i) {
        int ax = anchorX(random), ay = anchorY(random);
        int ux = direction(random), uy = direction(random);
        if (ux == 0 && uy == 0) {
            ux = 1;
        }
        long long before = reach(random), after = reach(random);
        int x1 = static_cast<int>(ax - before * ux), y1 = static_cast<int>(ay - before * uy);
        int x2 = static_cast<int>(ax + after * ux), y2 = static_cast<int>(ay + after * uy);
        render(canvas, vexRaster_DrawLine, x1, y1, x2, y2);
        PixelSet drawn = canvas.pixelsNot(paper);
        std::string line = "line (" + std::to_string(x1) + ", " + std::to_string(y1) + ") to (" +
                           std::to_string(x2) + ", " + std::to_string(y2) + ")";

        // The line passes exactly through the anchor, an integer point, so it is drawn there.
        EXPECT_EQ(drawn.count({ax, ay}), 1u) << line;
        bool xMajor = std::llabs(static_cast<long long>(x2) - x1) >
                      std::llabs(static_cast<long long>(y2) - y1);
        long long majorStart = xMajor ? x1 : y1, minorStart = xMajor ? y1 : x1;
        long long majorEnd = xMajor ? x2 : y2, minorEnd = xMajor ? y2 : x2;
        if (majorStart > majorEnd) {
            std::swap(majorStart, majorEnd);
            std::swap(minorStart, minorEnd);
        }
        std::set<int> majorsSeen;
        for (const auto& p : drawn) {
            int major = xMajor ? p.first : p.second;
            int minor = xMajor ? p.second : p.first;
            // One pixel per major coordinate, at the floor of the true minor coordinate.
            EXPECT_TRUE(majorsSeen.insert(major).second) << line;
            long double ideal = minorStart + static_cast<long double>(major - majorStart) *
                                                 (minorEnd - minorStart) / (majorEnd - majorStart);
            EXPECT_LE(minor, ideal + 1e-6L) << line << " at " << p.first << ", " << p.second;
            EXPECT_GT(minor, ideal - 1 - 1e-6L) << line << " at " << p.first << ", " << p.second;
        }
    }
}

TEST(LineHuge, CanvasWiderThanTheFixedPointRange) {
    // On-canvas lines longer than 32767 pixels follow the true slope on both paths.
    TestCanvas canvas(40001, 2, paper, ink);
    vexRaster_DrawLine(0, 0, 39999, 1);
    PixelSet expected = span(0, 0, 39998);
    expected.insert({39999, 1});
    EXPECT_EQ(canvas.pixelsNot(paper), expected);
    EXPECT_EQ(render(canvas, vexRaster_DrawLine, 40000, 1, 0, 0),
              render(canvas, vexRaster_DrawClippedLine, 40000, 1, 0, 0));
    render(canvas, vexRaster_DrawLine, 40000, 1, 0, 1);
    EXPECT_EQ(canvas.pixelsNot(paper), span(1, 0, 40000));
}
