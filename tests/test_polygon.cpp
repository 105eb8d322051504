// Tests of the polygon fill: spans and the rounding of edge crossings, the column quirk at the
// canvas sides, degenerate and extreme polygons, the vertex limit and the edge list's lifetime.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "raster/raster.h"
#include "support/testutil.h"

namespace {

// Red on white; ascii() shows '#' for every pixel that is not paper.
const Color paper = 0xffffff;
const Color ink = 0xff0000;

typedef std::vector<std::pair<int, int>> Vertices;

void fillPolygon(const Vertices& vertices) {
    vexRaster_PolygonBegin(vertices[0].first, vertices[0].second);
    for (size_t i = 1; i < vertices.size(); ++i) {
        vexRaster_PolygonAddVertex(vertices[i].first, vertices[i].second);
    }
    vexRaster_PolygonFill();
}

// The picture of one filled polygon on a fresh canvas.
std::string filled(int width, int height, const Vertices& vertices) {
    TestCanvas canvas(width, height, paper, ink);
    fillPolygon(vertices);
    EXPECT_EQ(canvas.pixelsOf(ink), canvas.pixelsNot(paper));
    return canvas.ascii(paper);
}

}  // namespace

// ---- Spans and crossings ------------------------------------------------------------------------

TEST(PolygonFill, TrianglePaintsItsRowsFromEdgeToEdge) {
    EXPECT_EQ(filled(7, 6, {{0, 0}, {4, 0}, {0, 4}}),
              "#####..\n"
              "####...\n"
              "###....\n"
              "##.....\n"
              "#......\n"
              ".......\n");
    // Entering through the top edge: only the rows on the canvas are visited.
    EXPECT_EQ(filled(7, 5, {{0, -3}, {6, -3}, {0, 3}}),
              "####...\n"
              "###....\n"
              "##.....\n"
              "#......\n"
              ".......\n");
}

TEST(PolygonFill, CrossingsRoundAwayFromZeroFromTheFirstVertex) {
    // (0,0)->(1,2) crosses row 1 at 0 + round(0.5) = 1, while (1,2)->(0,0) crosses it at
    // 1 + round(-0.5) = 0: the same edge lands one pixel apart by direction.
    EXPECT_EQ(filled(7, 4, {{0, 0}, {1, 2}, {-3, 2}}),
              "#......\n"
              "##.....\n"
              "##.....\n"
              ".......\n");
    EXPECT_EQ(filled(7, 4, {{1, 2}, {0, 0}, {5, 0}}),
              "######.\n"
              "####...\n"
              ".#.....\n"
              ".......\n");
}

TEST(PolygonFill, RowsBesideTheCanvasPaintItsOuterColumn) {
    // The span starts as start = width - 1, end = 0, so crossings all left of the canvas leave
    // end at 0 and paint x = 0; all right of it leave start at width - 1.
    EXPECT_EQ(filled(7, 8, {{-10, 0}, {-5, 0}, {-10, 5}}),
              "#......\n"
              "#......\n"
              "#......\n"
              "#......\n"
              "#......\n"
              "#......\n"
              ".......\n"
              ".......\n");
    EXPECT_EQ(filled(7, 8, {{17, 0}, {12, 0}, {17, 5}}),
              "......#\n"
              "......#\n"
              "......#\n"
              "......#\n"
              "......#\n"
              "......#\n"
              ".......\n"
              ".......\n");
}

// ---- Degenerate polygons ------------------------------------------------------------------------

TEST(PolygonFill, DegeneratePolygons) {
    const std::string empty = ".......\n.......\n.......\n.......\n.......\n";
    // Every edge horizontal: no crossing anywhere.
    EXPECT_EQ(filled(7, 5, {{0, 2}, {6, 2}, {3, 2}}), empty);
    // A single vertex has only the edge from itself to itself.
    EXPECT_EQ(filled(7, 5, {{3, 2}}), empty);
    // All on one column: one pixel per row, clipped to the canvas rows.
    EXPECT_EQ(filled(7, 5, {{3, 1}, {3, 4}, {3, 2}}),
              ".......\n"
              "...#...\n"
              "...#...\n"
              "...#...\n"
              "...#...\n");
    EXPECT_EQ(filled(7, 5, {{5, -2}, {5, 50}}),
              ".....#.\n"
              ".....#.\n"
              ".....#.\n"
              ".....#.\n"
              ".....#.\n");
    // Two vertices: the edge is crossed in both directions; on row 2 (t = +-0.5) the two
    // crossings round apart and the span is two pixels wide.
    EXPECT_EQ(filled(7, 5, {{1, 0}, {2, 4}}),
              ".#.....\n"
              ".#.....\n"
              ".##....\n"
              "..#....\n"
              "..#....\n");
}

TEST(PolygonFill, PolygonsAboveOrBelowTheCanvasPaintNothing) {
    const std::string empty = ".......\n.......\n.......\n.......\n.......\n";
    EXPECT_EQ(filled(7, 5, {{0, -10}, {6, -3}, {2, -1}}), empty);
    EXPECT_EQ(filled(7, 5, {{-4, 5}, {12, 9}, {3, 40}}), empty);
}

TEST(PolygonFill, ExtremeVerticesCoverOrMissTheCanvasCorrectly) {
    // Differences of these coordinates do not fit in an int, and the rows run from INT_MIN to
    // INT_MAX; the canvas lies deep inside the triangle.
    EXPECT_EQ(filled(7, 5, {{INT_MIN, INT_MIN}, {INT_MAX, INT_MIN}, {0, INT_MAX}}),
              "#######\n"
              "#######\n"
              "#######\n"
              "#######\n"
              "#######\n");
    // The left edge runs from x = INT_MIN to INT_MAX over 40 rows; on row 0 it crosses exactly
    // at x = 0 (an offset of 2^31 from its first vertex, beyond what an int holds) and on the
    // rows below far right of the canvas, where only the outer column is painted.
    EXPECT_EQ(filled(7, 5, {{INT_MIN, -20}, {INT_MAX, 20}, {INT_MAX, -20}}),
              "#######\n"
              "......#\n"
              "......#\n"
              "......#\n"
              "......#\n");
}

// ---- The edge list ------------------------------------------------------------------------------

TEST(PolygonEdgeList, VerticesBeyondThe499thAreIgnored) {
    // Vertex 0, 497 copies of (8,1) and vertex 498 make the triangle (1,1), (8,1), (1,6),
    // closed from vertex 498 back to vertex 0. The 101 further vertices all land in the spill
    // slot; were any of them used, the far corner (12,9) would widen the picture.
    TestCanvas expected(13, 10, paper, ink);
    fillPolygon({{1, 1}, {8, 1}, {1, 6}});

    TestCanvas canvas(13, 10, paper, ink);
    vexRaster_PolygonBegin(1, 1);
    for (int i = 1; i <= 497; ++i) {
        vexRaster_PolygonAddVertex(8, 1);
    }
    vexRaster_PolygonAddVertex(1, 6);
    for (int i = 499; i < 600; ++i) {
        vexRaster_PolygonAddVertex(12, 9 - i % 2);
    }
    vexRaster_PolygonFill();
    EXPECT_EQ(canvas.ascii(paper), expected.ascii(paper));
    EXPECT_EQ(canvas.pixelsNot(paper).size(), 8u + 7u + 5u + 4u + 2u + 1u);
}

TEST(PolygonEdgeList, PersistsAfterFillUntilTheNextBegin) {
    TestCanvas canvas(9, 7, paper, ink);
    fillPolygon({{0, 0}, {8, 0}, {8, 6}, {0, 6}});
    vexRaster_Clear();
    fillPolygon({{2, 1}, {6, 1}, {2, 5}});
    PixelSet triangle = canvas.pixelsOf(ink);
    ASSERT_EQ(triangle.size(), 5u + 4u + 3u + 2u + 1u);
    // The second begin replaced the square; filling again repaints the triangle only.
    vexRaster_Clear();
    vexRaster_SetColor(0x00ff00);
    vexRaster_PolygonFill();
    EXPECT_EQ(canvas.pixelsNot(paper), triangle);
    EXPECT_EQ(canvas.pixelsOf(0x00ff00), triangle);
}

TEST(PolygonEdgeList, FillBeforeAnyBeginPaintsNothing) {
    // The edge list is process state: the check runs in a freshly started copy of this program
    // where no polygon was ever begun. On a canvas one pixel wide the inverted initial span is
    // not empty, so any row the fill visited would be painted.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TestCanvas canvas(1, 4, paper, ink);
            vexRaster_PolygonFill();
            std::exit(canvas.pixelsNot(paper).empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
