// Tests of the Mandelbrot height function: exact values where the orbit is exact, and agreement
// with an independent extended-precision reading of the definition elsewhere.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "fractal/fractal.h"

namespace {

// The definition read straight from the mathematics, in long double and with the textbook
// form z^2 + c = (x^2 - y^2 + re, 2xy + im): independent of the production operation order.
struct Reference {
    int escapedAt;  // -1 when the orbit stays below the threshold for the whole budget
    double height;
};

Reference referenceHeight(double re, double im) {
    long double x = re;
    long double y = im;
    for (int k = 0; k < 1024; ++k) {
        long double modulus2 = x * x + y * y;
        if (modulus2 >= 10000.0L) {
            long double v = std::log10(modulus2) / std::ldexp(1.0L, k);
            return {k, static_cast<double>(1.0L - std::fmin(1.0L, v))};
        }
        long double nextX = x * x - y * y + re;
        y = 2.0L * x * y + im;
        x = nextX;
    }
    return {-1, 1.0};
}

TEST(MandelbrotHeight, BoundedOrbitsGiveExactlyOne) {
    EXPECT_EQ(vexFractal_MandelbrotHeight(0.0, 0.0), 1.0);
    // -2, 2, 2, 2, ... stays on the real axis and never escapes.
    EXPECT_EQ(vexFractal_MandelbrotHeight(-2.0, 0.0), 1.0);
    // -1, 0, -1, 0, ... is exact as well.
    EXPECT_EQ(vexFractal_MandelbrotHeight(-1.0, 0.0), 1.0);
    EXPECT_EQ(vexFractal_MandelbrotHeight(-0.1, 0.1), 1.0);
    // NaN never passes the escape test, whichever part carries it.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(vexFractal_MandelbrotHeight(nan, 0.0), 1.0);
    EXPECT_EQ(vexFractal_MandelbrotHeight(0.0, nan), 1.0);
    EXPECT_EQ(vexFractal_MandelbrotHeight(nan, nan), 1.0);
}

TEST(MandelbrotHeight, EscapeWithinTwoIterationsGivesExactlyZero) {
    // |c|^2 is exactly 10000: equality counts as escaped at n = 0, and log10 = 4 is clamped.
    EXPECT_EQ(vexFractal_MandelbrotHeight(100.0, 0.0), 0.0);
    EXPECT_EQ(vexFractal_MandelbrotHeight(0.0, -100.0), 0.0);
    // 50: |c|^2 = 2500, then 2550 escapes at n = 1; 10: 10, 110 escapes at n = 2.
    EXPECT_EQ(vexFractal_MandelbrotHeight(50.0, 0.0), 0.0);
    EXPECT_EQ(vexFractal_MandelbrotHeight(10.0, 0.0), 0.0);
    // Infinite input escapes at once and is clamped like any other fast escape.
    EXPECT_EQ(vexFractal_MandelbrotHeight(std::numeric_limits<double>::infinity(), 0.0), 0.0);
}

TEST(MandelbrotHeight, ExactOrbitsUseSquaredModulusAndPowerOfTwo) {
    // c = 2: orbit 2, 6, 38, 1446 escapes at n = 3 with s = 1446^2, all exact in doubles.
    double two = vexFractal_MandelbrotHeight(2.0, 0.0);
    EXPECT_EQ(two, 1.0 - std::log10(2090916.0) / 8.0);
    EXPECT_NEAR(two, 0.209958, 1e-6);
    // c = 1: orbit 1, 2, 5, 26, 677 escapes at n = 4 with s = 677^2.
    double one = vexFractal_MandelbrotHeight(1.0, 0.0);
    EXPECT_EQ(one, 1.0 - std::log10(458329.0) / 16.0);
    EXPECT_NEAR(one, 0.646176, 1e-6);
}

TEST(MandelbrotHeight, FirstGridCornerMatchesDefinition) {
    Reference expected = referenceHeight(-2.5, -1.8);
    ASSERT_EQ(expected.escapedAt, 3);
    double height = vexFractal_MandelbrotHeight(-2.5, -1.8);
    EXPECT_NEAR(height, expected.height, 1e-12);
    EXPECT_NEAR(height, 0.132423, 1e-6);
    // Conjugation only flips the sign of every imaginary part, so the height is identical.
    EXPECT_EQ(vexFractal_MandelbrotHeight(-2.5, 1.8), height);
}

TEST(MandelbrotHeight, AgreesWithDefinitionAcrossThePlottedRectangle) {
    // Points that escape early are insensitive to rounding and must agree closely; deep orbits
    // may legitimately part ways with an extended-precision one and are not compared.
    int compared = 0;
    int plateau = 0;
    for (int i = 0; i <= 73; ++i) {
        for (int j = 0; j <= 72; ++j) {
            double re = -2.5 + i * 0.05;
            double im = -1.8 + j * 0.05;
            Reference expected = referenceHeight(re, im);
            double height = vexFractal_MandelbrotHeight(re, im);
            ASSERT_GE(height, 0.0) << re << " " << im;
            ASSERT_LE(height, 1.0) << re << " " << im;
            if (expected.escapedAt >= 0 && expected.escapedAt <= 12) {
                EXPECT_NEAR(height, expected.height, 1e-9) << re << " " << im;
                ++compared;
            }
            if (height == 1.0) {
                ++plateau;
            }
        }
    }
    // The sample must really cover both the escaping region and the set.
    EXPECT_GT(compared, 2000);
    EXPECT_GT(plateau, 500);
}

}  // namespace
