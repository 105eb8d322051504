// The band rasteriser's grid of cells against the literal facets drawn in sweep order: folded
// grids whose later cells hide earlier ones wholly or in part, cut into runs and lists as the
// frame files them, for every lane width and band split.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kernels/kernels.h"
#include "raster/raster.h"
#include "raster/raster_kernels.h"
#include "support/testutil.h"

namespace {

// Corners (i, j) of a grid of nx x ny, projected, and two shades a cell.
struct Grid {
    int nx, ny;
    std::vector<std::vector<int>> xs, ys;
    std::vector<unsigned char> shades;
};

Color colourOf(int shade) {
    // Shades far apart in every channel, red on blue among them, none the background's.
    return static_cast<Color>((shade * 0x9e3779u) & 0xfefefeu);
}

// A grid laid out as the sweep's is (columns left to right, rows up the canvas), each corner
// pushed about by up to `jitter` pixels across and `fold` rows, so that cells overlap, fold
// back over their neighbours and hide cells drawn before them. A few corners jump far, which
// makes cells wider than the one-pass window, and a few columns' rows repeat their
// neighbour's, which makes triangles with all three corners on one row.
Grid randomGrid(std::mt19937& random, int nx, int ny, int width, int height, int jitter, int fold) {
    Grid g;
    g.nx = nx;
    g.ny = ny;
    g.xs.assign(nx, std::vector<int>(ny));
    g.ys.assign(nx, std::vector<int>(ny));
    std::uniform_int_distribution<int> dx(-jitter, jitter), dy(-fold, fold), far(0, 40),
        shade(0, 255);
    for (int i = 0; i < nx; ++i) {
        for (int j = 0; j < ny; ++j) {
            g.xs[i][j] = -8 + (width + 16) * i / (nx - 1) + dx(random);
            g.ys[i][j] = height + 8 - (height + 16) * j / (ny - 1) + dy(random);
            if (far(random) == 0) {
                g.xs[i][j] += far(random) - 20 > 0 ? 30 : -30;
            }
        }
    }
    for (int i = 1; i < nx; ++i) {
        if (far(random) < 4) {
            g.ys[i] = g.ys[i - 1];
        }
    }
    for (int k = 0; k < 2 * (nx - 1) * (ny - 1); ++k) {
        g.shades.push_back(static_cast<unsigned char>(shade(random)));
    }
    return g;
}

// The literal facet: the triangle's outline, then its fill, in its colour.
void literalTriangle(int x0, int y0, int x1, int y1, int x2, int y2, Color colour) {
    vexRaster_SetColor(colour);
    vexRaster_DrawLine(x0, y0, x1, y1);
    vexRaster_DrawLine(x1, y1, x2, y2);
    vexRaster_DrawLine(x2, y2, x0, y0);
    vexRaster_PolygonBegin(x0, y0);
    vexRaster_PolygonAddVertex(x1, y1);
    vexRaster_PolygonAddVertex(x2, y2);
    vexRaster_PolygonFill();
}

void drawLiterally(const Grid& g) {
    for (int i = 0; i + 1 < g.nx; ++i) {
        for (int j = 0; j + 1 < g.ny; ++j) {
            const int x[4] = {g.xs[i][j], g.xs[i + 1][j], g.xs[i + 1][j + 1], g.xs[i][j + 1]};
            const int y[4] = {g.ys[i][j], g.ys[i + 1][j], g.ys[i + 1][j + 1], g.ys[i][j + 1]};
            const int cell = i * (g.ny - 1) + j;
            literalTriangle(x[0], y[0], x[1], y[1], x[2], y[2], colourOf(g.shades[2 * cell]));
            literalTriangle(x[2], y[2], x[3], y[3], x[0], y[0], colourOf(g.shades[2 * cell + 1]));
        }
    }
}

// The grid's cells cut into runs of up to `runLength` cells, dealt into `listCount` lists of
// consecutive runs, and drawn band by band for a split of the rows into `bands`, list after list.
void drawInRuns(const Grid& g, int runLength, int listCount, int bands, int height) {
    std::vector<const int*> columns, rows;
    for (int i = 0; i < g.nx; ++i) {
        columns.push_back(g.xs[i].data());
        rows.push_back(g.ys[i].data());
    }
    std::vector<VexInk> inks;
    for (int shade = 0; shade < 256; ++shade) {
        inks.push_back(vexRaster_InkOf(colourOf(shade)));
    }
    const VexCellGrid grid = {columns.data(), rows.data(), g.shades.data(),
                              inks.data(),    g.nx,        g.ny};
    std::vector<VexCellRun> runs;
    for (int i = 0; i + 1 < g.nx; ++i) {
        for (int j = 0; j + 1 < g.ny; j += runLength) {
            runs.push_back({i, j, std::min(j + runLength, g.ny - 1) - 1});
        }
    }
    std::vector<const VexCellRun*> lists;
    std::vector<int> counts;
    const int total = static_cast<int>(runs.size());
    for (int l = 0; l < listCount; ++l) {
        const int first = total * l / listCount;
        lists.push_back(runs.data() + first);
        counts.push_back(total * (l + 1) / listCount - first);
    }
    std::vector<double> scratch(static_cast<std::size_t>(vexRaster_CellScratchBytes() / 8 + 1));
    for (int b = 0; b < bands; ++b) {
        const VexRowBand band = vexRaster_Band(height * b / bands, height * (b + 1) / bands);
        for (int l = 0; l < listCount; ++l) {
            vexRaster_DrawCells(grid, lists[l], counts[l], band, scratch.data());
        }
    }
}

std::string firstDifference(const TestCanvas& a, const TestCanvas& b) {
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (a.at(x, y) != b.at(x, y)) {
                return "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
            }
        }
    }
    return "identical";
}

}  // namespace

TEST(CellGrid, FoldedGridsMatchTheLiteralSweepForEveryWidthAndSplit) {
    struct Case {
        int nx, ny, width, height, jitter, fold;
    };
    // Dense grids on small canvases (most cells hidden), a sparser one
    // across a wider canvas, one whose corners stray far from their places, and one taller than
    // a band of the frame.
    const Case cases[] = {{14, 12, 40, 30, 3, 6},   {20, 25, 33, 21, 2, 9},  {9, 7, 90, 60, 4, 12},
                          {12, 12, 50, 40, 14, 25}, {6, 40, 30, 300, 3, 20}, {3, 3, 7, 5, 2, 3}};
    const int saved = vexKernels_Lanes();
    for (int lanes : {1, 2, 4, 8}) {
        if (!vexKernels_SelectLanes(lanes)) {
            continue;
        }
        std::mt19937 random(4242);
        for (const Case& c : cases) {
            for (int round = 0; round < 12; ++round) {
                const Grid g = randomGrid(random, c.nx, c.ny, c.width, c.height, c.jitter, c.fold);
                TestCanvas literal(c.width, c.height, 0xffffff);
                drawLiterally(g);
                int differences = 0;
                for (int bands : {1, 3, 7}) {
                    for (int runLength : {1, 5, 64}) {
                        for (int listCount : {1, 3}) {
                            TestCanvas fast(c.width, c.height, 0xffffff);
                            drawInRuns(g, runLength, listCount, bands, c.height);
                            if (fast.bytes != literal.bytes && differences++ == 0) {
                                ADD_FAILURE()
                                    << lanes << " lanes, grid " << c.nx << "x" << c.ny << " on "
                                    << c.width << "x" << c.height << ", round " << round << ", "
                                    << bands << " bands, runs of " << runLength << ", " << listCount
                                    << " lists: first difference at "
                                    << firstDifference(literal, fast);
                            }
                        }
                    }
                }
                // Most cells are hidden, but the grid still shows many pixels of its own.
                EXPECT_GT(literal.pixelsNot(0xffffff).size(),
                          static_cast<std::size_t>(c.width * c.height / 3));
            }
        }
    }
    vexKernels_SelectLanes(saved);
}
