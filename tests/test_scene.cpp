// The sweep's grid and heights: the accumulated coordinates, the cell count, and the facts of
// the height field over the grid's distinct corners.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fractal/fractal.h"

namespace {

struct Grid {
    std::vector<double> xs = std::vector<double>(800);
    std::vector<double> ys = std::vector<double>(800);
    int columns = vexFractal_GridAxis(vexGridStartX, vexGridEndX, xs.data(), 800);
    int rows = vexFractal_GridAxis(vexGridStartY, vexGridEndY, ys.data(), 800);
};

const Grid& grid() {
    static const Grid theGrid;
    return theGrid;
}

}  // namespace

TEST(SweepGrid, AccumulatedCoordinatesGiveOneMoreStepOnEachAxis) {
    const Grid& g = grid();
    // 0.005 is not exact in binary, the accumulated values run low, and each loop makes one
    // step more than the nominal 730 x 720.
    EXPECT_EQ(g.columns, 731);
    EXPECT_EQ(g.rows, 721);
    EXPECT_EQ(static_cast<long>(g.columns) * g.rows, 527051);
    EXPECT_EQ(g.xs[g.columns - 1], 1.1499999999999664);
    EXPECT_EQ(g.ys[g.rows - 1], 1.7999999999999674);
    EXPECT_LT(g.xs[g.columns - 1], vexGridEndX);
    EXPECT_GE(g.xs[g.columns], vexGridEndX);
    EXPECT_NEAR(g.xs[500], 0.0, 1e-13);
    EXPECT_LT(g.xs[500], 0.0);
}

TEST(SweepGrid, EachCoordinateIsThePreviousPlusTheStep) {
    const Grid& g = grid();
    for (int i = 1; i <= g.columns; ++i) {
        ASSERT_EQ(g.xs[i], g.xs[i - 1] + 0.005) << i;
    }
    for (int j = 1; j <= g.rows; ++j) {
        ASSERT_EQ(g.ys[j], g.ys[j - 1] + 0.005) << j;
    }
    // Computing start + k * step instead would give a different, shorter grid.
    int nominal = 0;
    while (-2.5 + nominal * 0.005 < 1.15) {
        ++nominal;
    }
    EXPECT_EQ(nominal, 730);
}

TEST(SweepGrid, FirstCellCorners) {
    const Grid& g = grid();
    EXPECT_EQ(g.xs[0], -2.5);
    EXPECT_EQ(g.ys[0], -1.8);
    EXPECT_EQ(g.xs[1], -2.495);
    EXPECT_EQ(g.ys[1], -1.7950000000000002);
    double h1 = vexFractal_MandelbrotHeight(g.xs[0], g.ys[0]) - vexHeightOffset;
    EXPECT_NEAR(h1, -0.117577, 1e-6);
}

TEST(SweepGrid, TooSmallCapacityIsRefused) {
    std::vector<double> corners(100, 0.0);
    EXPECT_EQ(vexFractal_GridAxis(vexGridStartX, vexGridEndX, corners.data(), 100), -1);
    EXPECT_EQ(vexFractal_GridAxis(0.0, 0.001, corners.data(), 1), -1);
    EXPECT_EQ(vexFractal_GridAxis(0.0, 0.001, corners.data(), 2), 1);
}

TEST(SweepHeights, DistinctCornersOfTheGrid) {
    const Grid& g = grid();
    long corners = 0;
    long inside = 0;
    long zero = 0;
    double lowest = 2.0;
    for (int i = 0; i <= g.columns; ++i) {
        for (int j = 0; j <= g.rows; ++j) {
            double h = vexFractal_MandelbrotHeight(g.xs[i], g.ys[j]);
            ++corners;
            inside += h == 1.0;
            zero += h == 0.0;
            lowest = std::fmin(lowest, h);
        }
    }
    EXPECT_EQ(corners, 732L * 722L);
    EXPECT_EQ(inside, 63368);
    EXPECT_EQ(zero, 0);
    EXPECT_GT(lowest, 0.0);
}
