// Tests of the view prism: derived camera values, refusal of flat boxes, kept bounds, the light
// direction, and projection including points at or behind the eye and before set-up.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "fractal/fractal.h"
#include "raster/raster.h"
#include "view3d/view3d.h"

namespace {

// Read during static initialisation, before any test has touched the view.
const Prism prismAtStart = viewPrism;
const Point3 lightAtStart = lightVector;

int initializeScenePrism() {
    return vexFractal_InitializeScenePrism();
}

// Azimuth and elevation 0: horizontal offset = X, vertical = Z, depth = Y, with a unit-scale
// box [-1, 1]^3, the eye at depth -10 and a screen distance of 10.
void initializeStraightPrism() {
    ASSERT_EQ(vex3D_InitializePrism(-1.0, -1.0, -1.0, 1.0, 1.0, 1.0, 0, 1.0, 0.0, 0.0, -10.0, 10.0),
              1);
}

bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Field by field and bit for bit (padding is not compared).
void expectSamePrism(const Prism& a, const Prism& b) {
    const double Prism::*fields[] = {
        &Prism::centerX,        &Prism::centerY,        &Prism::centerZ,
        &Prism::scaleX,         &Prism::scaleY,         &Prism::scaleZ,
        &Prism::cosAzimuth,     &Prism::sinAzimuth,     &Prism::cosElevation,
        &Prism::sinElevation,   &Prism::cosElevCosAzim, &Prism::sinElevSinAzim,
        &Prism::sinElevCosAzim, &Prism::cosElevSinAzim, &Prism::eyeDepth,
        &Prism::screenDistance};
    for (size_t i = 0; i < sizeof fields / sizeof fields[0]; ++i) {
        EXPECT_TRUE(sameBits(a.*fields[i], b.*fields[i])) << "field " << i;
    }
    EXPECT_EQ(a.boundsKept, b.boundsKept);
    for (int i = 0; i < 6; ++i) {
        EXPECT_TRUE(sameBits(a.keptBounds[i], b.keptBounds[i])) << "kept bound " << i;
    }
}

void expectSameLight(Point3 a, Point3 b) {
    EXPECT_TRUE(sameBits(a.x, b.x));
    EXPECT_TRUE(sameBits(a.y, b.y));
    EXPECT_TRUE(sameBits(a.z, b.z));
}

std::pair<int, int> project(Point3 p) {
    int column = -1;
    int row = -1;
    vex3D_Project(p, &column, &row);
    return {column, row};
}

TEST(Prism, StartsZeroWithLightAlongZ) {
    expectSamePrism(prismAtStart, Prism{});
    expectSameLight(lightAtStart, Point3{0.0, 0.0, 1.0});
}

TEST(Prism, SceneArgumentsGiveTheSceneCentreScalesAndAngles) {
    ASSERT_EQ(initializeScenePrism(), 1);
    EXPECT_DOUBLE_EQ(viewPrism.centerX, -0.675);
    EXPECT_EQ(viewPrism.centerY, 0.0);
    EXPECT_EQ(viewPrism.centerZ, 0.5);
    EXPECT_DOUBLE_EQ(viewPrism.scaleX, 4000.0 / 3.65);
    EXPECT_DOUBLE_EQ(viewPrism.scaleY, 4000.0 / 3.6);
    EXPECT_EQ(viewPrism.scaleZ, 4000.0);
    const double half = 0.5;
    const double root3Half = std::sqrt(3.0) / 2.0;
    EXPECT_NEAR(viewPrism.cosAzimuth, -half, 1e-15);
    EXPECT_NEAR(viewPrism.sinAzimuth, -root3Half, 1e-15);
    EXPECT_NEAR(viewPrism.cosElevation, root3Half, 1e-15);
    EXPECT_NEAR(viewPrism.sinElevation, half, 1e-15);
    EXPECT_EQ(viewPrism.cosElevCosAzim, viewPrism.cosElevation * viewPrism.cosAzimuth);
    EXPECT_EQ(viewPrism.sinElevSinAzim, viewPrism.sinElevation * viewPrism.sinAzimuth);
    EXPECT_EQ(viewPrism.sinElevCosAzim, viewPrism.sinElevation * viewPrism.cosAzimuth);
    EXPECT_EQ(viewPrism.cosElevSinAzim, viewPrism.cosElevation * viewPrism.sinAzimuth);
    EXPECT_EQ(viewPrism.eyeDepth, -7500.0);
    EXPECT_EQ(viewPrism.screenDistance, 10000.0);
    EXPECT_EQ(viewPrism.boundsKept, 1);
    const double ordered[6] = {-2.5, 1.15, -1.8, 1.8, 0.0, 1.0};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(viewPrism.keptBounds[i], ordered[i]) << i;
    }
    EXPECT_NEAR(lightVector.x, 0.75, 1e-15);
    EXPECT_NEAR(lightVector.y, 0.4330127018922193, 1e-15);
    EXPECT_NEAR(lightVector.z, 0.5, 1e-15);
}

TEST(Prism, LightPointsFromTheCubeCentreTowardTheEye) {
    const double angles[][2] = {{240.0, 30.0},  {0.0, 0.0},    {45.0, 60.0},
                                {300.0, -20.0}, {123.0, 89.0}, {-75.0, 10.0}};
    for (const auto& angle : angles) {
        ASSERT_EQ(vex3D_InitializePrism(0, 0, 0, 1, 1, 1, 0, 1.0, angle[0], angle[1], -5.0, 5.0),
                  1);
        double length = std::sqrt(lightVector.x * lightVector.x + lightVector.y * lightVector.y +
                                  lightVector.z * lightVector.z);
        EXPECT_NEAR(length, 1.0, 1e-15);
        EXPECT_NEAR(lightVector.x, -viewPrism.sinAzimuth * viewPrism.cosElevation, 1e-15);
        EXPECT_NEAR(lightVector.y, -viewPrism.cosAzimuth * viewPrism.cosElevation, 1e-15);
        EXPECT_NEAR(lightVector.z, viewPrism.sinElevation, 1e-15);
    }
}

TEST(Prism, ReversedCornersGiveTheIdenticalPrism) {
    ASSERT_EQ(initializeScenePrism(), 1);
    const Prism ordered = viewPrism;
    const Point3 light = lightVector;
    const double first[3] = {-2.5, -1.8, 0.0};
    const double second[3] = {1.15, 1.8, 1.0};
    // Every combination of swapped axes, all three at once included.
    for (int mask = 1; mask < 8; ++mask) {
        double a[3], b[3];
        for (int axis = 0; axis < 3; ++axis) {
            bool swapped = (mask >> axis) & 1;
            a[axis] = swapped ? second[axis] : first[axis];
            b[axis] = swapped ? first[axis] : second[axis];
        }
        viewPrism = Prism{};
        ASSERT_EQ(vex3D_InitializePrism(a[0], a[1], a[2], b[0], b[1], b[2], 1, 2000.0, 240.0, 30.0,
                                        -7500.0, 10000.0),
                  1);
        SCOPED_TRACE(mask);
        expectSamePrism(viewPrism, ordered);
        expectSameLight(lightVector, light);
    }
}

TEST(Prism, FlatBoxIsRefusedAndChangesNothing) {
    ASSERT_EQ(initializeScenePrism(), 1);
    Prism before;
    std::memcpy(&before, &viewPrism, sizeof before);
    const Point3 light = lightVector;
    const std::string message = "vex3D_InitializePrism: Prism must have volume.\n";
    const double flats[][6] = {
        {1, 0, 0, 1, 2, 3},
        {0, 1, 0, 2, 1, 3},
        {0, 0, 1, 2, 3, 1},
        {1, 1, 1, 1, 1, 1},  // flat on every axis: still one message
    };
    for (const auto& f : flats) {
        testing::internal::CaptureStdout();
        int result = vex3D_InitializePrism(f[0], f[1], f[2], f[3], f[4], f[5], 1, 50.0, 10.0, 20.0,
                                           -1.0, 2.0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), message);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(std::memcmp(&before, &viewPrism, sizeof before), 0);
        expectSameLight(lightVector, light);
    }
}

TEST(Prism, KeepBoundsZeroLeavesKeptBoundsAlone) {
    viewPrism = Prism{};
    ASSERT_EQ(vex3D_InitializePrism(1, 2, 3, 4, 5, 6, 0, 1.0, 0.0, 0.0, -5.0, 5.0), 1);
    EXPECT_EQ(viewPrism.boundsKept, 0);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(viewPrism.keptBounds[i], 0.0);
    }

    // Reversed corners are kept in order.
    ASSERT_EQ(vex3D_InitializePrism(4, 5, 6, 1, 2, 3, 1, 1.0, 0.0, 0.0, -5.0, 5.0), 1);
    const double ordered[6] = {1, 4, 2, 5, 3, 6};
    EXPECT_EQ(viewPrism.boundsKept, 1);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(viewPrism.keptBounds[i], ordered[i]) << i;
    }

    ASSERT_EQ(vex3D_InitializePrism(10, 20, 30, 11, 21, 31, 0, 1.0, 0.0, 0.0, -5.0, 5.0), 1);
    EXPECT_EQ(viewPrism.centerX, 10.5);  // the rest of the prism did change
    EXPECT_EQ(viewPrism.boundsKept, 1);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(viewPrism.keptBounds[i], ordered[i]) << i;
    }
}

TEST(Projection, SceneCornersAndCentreLandOnTheirPixels) {
    vexRaster_Initialize(6000, 4800, nullptr);
    ASSERT_EQ(initializeScenePrism(), 1);
    EXPECT_EQ(project({-2.5, -1.8, 0.0}), std::make_pair(2327, 2736));
    EXPECT_EQ(project({1.15, 1.8, 1.0}), std::make_pair(4770, 1515));
    EXPECT_EQ(project({viewPrism.centerX, viewPrism.centerY, viewPrism.centerZ}),
              std::make_pair(3000, 2400));
    // Raising a point moves it up the picture, to a smaller row.
    EXPECT_LT(project({-2.5, -1.8, 1.0}).second, 2736);
}

TEST(Projection, OffsetsTruncateTowardZeroBeforeTheCentre) {
    vexRaster_Initialize(101, 51, nullptr);  // odd sizes: centre (50, 25)
    initializeStraightPrism();
    EXPECT_EQ(project({0.0, 0.0, 0.0}), std::make_pair(50, 25));
    EXPECT_EQ(project({0.9, 0.0, 0.0}), std::make_pair(50, 25));
    EXPECT_EQ(project({-0.9, 0.0, 0.0}), std::make_pair(50, 25));
    EXPECT_EQ(project({0.0, 0.0, 0.9}), std::make_pair(50, 25));
    EXPECT_EQ(project({0.0, 0.0, -0.9}), std::make_pair(50, 25));
    // Toward zero, not down: -1.9 gives -1, not -2.
    EXPECT_EQ(project({-1.9, 0.0, 1.9}), std::make_pair(49, 24));
    EXPECT_EQ(project({1.9, 0.0, -1.9}), std::make_pair(51, 26));
    // Farther away (larger depth) shrinks the offset: 4 * 10 / 20 = 2.
    EXPECT_EQ(project({4.0, 10.0, -4.0}), std::make_pair(52, 27));
}

TEST(Projection, PointsAtOrBehindTheEyeAreDefined) {
    vexRaster_Initialize(101, 51, nullptr);
    initializeStraightPrism();
    // At the eye the divisor is 0: +-infinity is held at the limit, 0/0 counts as 0.
    EXPECT_EQ(project({1.0, -10.0, 0.0}), std::make_pair(50 + vexProjectionLimit, 25));
    EXPECT_EQ(project({-1.0, -10.0, 0.0}), std::make_pair(50 - vexProjectionLimit, 25));
    EXPECT_EQ(project({0.0, -10.0, 1.0}), std::make_pair(50, 25 - vexProjectionLimit));
    EXPECT_EQ(project({0.0, -10.0, -1.0}), std::make_pair(50, 25 + vexProjectionLimit));
    // Just in front of the eye the offset is finite but beyond the int range.
    EXPECT_EQ(project({1.0, -10.0 + 1e-9, -1.0}),
              std::make_pair(50 + vexProjectionLimit, 25 + vexProjectionLimit));
    // Behind the eye the picture is mirrored: 3 * 10 / -10 = -3.
    EXPECT_EQ(project({3.0, -20.0, 2.0}), std::make_pair(47, 27));
    // Non-finite coordinates come out as a held or centred offset, never as garbage.
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(project({nan, nan, nan}), std::make_pair(50, 25));
    // An infinite x meets a zero product in the depth (0 * inf), so the divisor is NaN.
    EXPECT_EQ(project({inf, 0.0, 0.0}), std::make_pair(50, 25));
    EXPECT_EQ(project({-inf, 0.0, 0.0}), std::make_pair(50, 25));
}

TEST(Projection, BeforeSetUpEveryPointLandsOnTheCentre) {
    vexRaster_Initialize(6000, 4800, nullptr);
    viewPrism = Prism{};  // as at program start: every quotient is 0 / 0
    EXPECT_EQ(project({0.0, 0.0, 0.0}), std::make_pair(3000, 2400));
    EXPECT_EQ(project({-2.5, -1.8, 0.0}), std::make_pair(3000, 2400));
    EXPECT_EQ(project({1e300, -1e300, 7.0}), std::make_pair(3000, 2400));
}

}  // namespace
