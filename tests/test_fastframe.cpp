// The fast frame against the literal routines: the real picture byte for byte for several
// thread counts, every corner height bit for bit for each vector width, and the band-limited
// rasteriser against the literal lines and fill on small canvases.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory_resource>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "fractal/fractal.h"
#include "fractal/fractal_kernels.h"
#include "fractal/orbit_escape.h"
#include "kernels/kernels.h"
#include "platform/platform.h"
#include "raster/raster.h"
#include "raster/raster_kernels.h"
#include "support/literal_cell.h"
#include "support/testutil.h"
#include "view3d/view3d.h"

namespace {

// Every vector width this processor supports; the best one is selected again afterwards.
std::vector<int> supportedLanes() {
    int best = vexKernels_Lanes();
    std::vector<int> lanes;
    for (int width : {1, 2, 4, 8}) {
        if (vexKernels_SelectLanes(width)) {
            lanes.push_back(width);
        }
    }
    vexKernels_SelectLanes(best);
    return lanes;
}

struct LanesGuard {
    int saved = vexKernels_Lanes();
    ~LanesGuard() { vexKernels_SelectLanes(saved); }
};

// Runs `check` once with the kernels of every vector width the processor supports.
template <class Check>
void forEachLaneWidth(Check check) {
    LanesGuard guard;
    for (int lanes : supportedLanes()) {
        ASSERT_TRUE(vexKernels_SelectLanes(lanes));
        SCOPED_TRACE(std::to_string(lanes) + " lanes");
        check();
    }
}

std::vector<double> axisOf(double start, double end) {
    std::vector<double> corners(4096);
    int cells = vexFractal_GridAxis(start, end, corners.data(), 4096);
    corners.resize(cells + 1);
    return corners;
}

// The picture's prism, as the scene sets it up.
void scenePrism() {
    vexFractal_InitializeScenePrism();
}

// The state the sweep starts from: pen 0, red.
void sweepStart() {
    vexRaster_SetPenSize(0);
    vexRaster_SetColor(vexSceneSurfaceColour);
}

// The literal cell loop over given corners: four heights and one shaded quad per cell.
void drawGridLiterally(const std::vector<double>& xs, const std::vector<double>& ys) {
    for (size_t i = 0; i + 1 < xs.size(); ++i) {
        for (size_t j = 0; j + 1 < ys.size(); ++j) {
            vexFractal_DrawCellLiteral(xs[i], xs[i + 1], ys[j], ys[j + 1]);
        }
    }
}

// Where two canvases first differ, for a readable failure.
std::string firstDifference(const TestCanvas& a, const TestCanvas& b) {
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (a.at(x, y) != b.at(x, y)) {
                char text[128];
                std::snprintf(text, sizeof text, "first difference at (%d, %d): %06x vs %06x", x, y,
                              a.at(x, y), b.at(x, y));
                return text;
            }
        }
    }
    return "identical";
}

long paintedBytes(const TestCanvas& canvas) {
    long painted = 0;
    for (unsigned char byte : canvas.bytes) {
        painted += byte != 0xff;
    }
    return painted;
}

// What a drawing routine leaves behind beyond the pixels: the colour and the polygon list.
// Plots one pixel with the colour in force, then fills the remembered polygon in green.
void revealState(int x, int y) {
    vexRaster_Plot(x, y);
    vexRaster_SetColor(0x00ff00);
    vexRaster_PolygonFill();
}

// ---- The real picture ---------------------------------------------------------------------------

const int sceneWidth = 6000;
const int sceneHeight = 4800;

// The literal surface, rendered once per test binary.
const std::vector<unsigned char>& literalScene() {
    static const std::vector<unsigned char> bytes = [] {
        TestCanvas canvas(sceneWidth, sceneHeight);
        scenePrism();
        sweepStart();
        vexFractal_DrawSurfaceLiteral();
        revealState(1, 1);
        return canvas.bytes;
    }();
    return bytes;
}

}  // namespace

TEST(FastFrame, RealSurfaceIsIdenticalForEveryThreadCount) {
    const std::vector<unsigned char>& literal = literalScene();
    std::vector<int> counts = {1, 2, 3, vexPlatform_CoreCount()};
    for (int threads : counts) {
        TestCanvas canvas(sceneWidth, sceneHeight);
        scenePrism();
        sweepStart();
        vexFractal_DrawSurfaceFast(threads);
        revealState(1, 1);
        ASSERT_EQ(canvas.bytes.size(), literal.size());
        // Not a vacuous match: the surface covers much of the canvas.
        EXPECT_GT(paintedBytes(canvas), 10000000L);
        EXPECT_TRUE(canvas.bytes == literal) << threads << " threads";
    }
}

#ifndef _WIN32
// POSIX only: a stack limit for a child; on Windows the stack size is fixed in the executable.
TEST(FastFrame, TheProgramDrawsOnAStackOf64KiB) {
    // The frame keeps its working memory off the stack: the program, whose threads get stacks
    // of the same size, runs normally under the smallest limit it promises to serve.
    if (builtWithSanitizers()) {
        GTEST_SKIP() << "the sanitizers' run-time needs more stack than the program does";
    }
    TempDir dir;
    writeFile(dir.file("vexMSDOS.fon"), readFile(VEX_FONT_PATH));
    RunLimits limits;
    limits.stack = 64 * 1024;
    RunResult run = runProgram(VEX_PROGRAM_PATH, dir.path, limits);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_EQ(readFile(dir.file("3VErudadudIzad12UdidirAvorovirevEde.bmp")).size(), 86400056u);
    EXPECT_EQ(folderEntries(dir.path),
              (std::set<std::string>{"vexMSDOS.fon", "3VErudadudIzad12UdidirAvorovirevEde.bmp",
                                     "___output_statistics.txt"}));
}
#endif

TEST(FastFrameDeathTest, RunListsThatCannotGrowAreTheFatalOutOfMemory) {
    // Run lists that outgrow the frame's block take memory from vexMemory_Calloc: what it
    // cannot give is the program's fatal message, not an exception that would end in an abort.
    std::pmr::memory_resource* overflow = vexFractal_RunListOverflow();
    void* block = overflow->allocate(1000, alignof(VexCellRun));
    ASSERT_NE(block, nullptr);
    std::memset(block, 0x5a, 1000);
    overflow->deallocate(block, 1000, alignof(VexCellRun));
    EXPECT_EXIT(
        {
            sendStandardOutputToDeathCapture();
            static_cast<void>(overflow->allocate(std::size_t{1} << 40, alignof(VexCellRun)));
        },
        ::testing::ExitedWithCode(fatalExitStatus),
        "^out of memory \\(vexMemory_Calloc 10000000000 bytes\\)\n$");
#ifndef _WIN32  // Windows has no address-space limit
    if (!builtWithSanitizers()) {
        const rlim_t limit = addressSpaceInUse() + (16 << 20);
        EXPECT_EXIT(
            {
                sendStandardOutputToDeathCapture();
                limitAddressSpace(limit);
                static_cast<void>(overflow->allocate(64 << 20, alignof(VexCellRun)));
            },
            ::testing::ExitedWithCode(fatalExitStatus),
            "^out of memory \\(vexMemory_Calloc 4000000 bytes\\)\n$");
    }
#endif
}

TEST(FastFrame, RealSurfaceIsIdenticalWithEveryVectorWidth) {
    const std::vector<unsigned char>& literal = literalScene();
    LanesGuard guard;
    for (int lanes : supportedLanes()) {
        ASSERT_TRUE(vexKernels_SelectLanes(lanes));
        TestCanvas canvas(sceneWidth, sceneHeight);
        scenePrism();
        sweepStart();
        vexFractal_DrawSurfaceFast(2);
        revealState(1, 1);
        EXPECT_TRUE(canvas.bytes == literal) << lanes << " lanes";
    }
}

// ---- Grid coordinates and heights ---------------------------------------------------------------

TEST(FastGrid, AxesAreTheLiteralLoopsCoordinates) {
    // The literal sweep's own accumulation, written out: every x and xn it visits.
    std::vector<double> visitedX;
    double x = vexGridStartX;
    visitedX.push_back(x);
    do {
        double xn = x + vexGridStep;
        visitedX.push_back(xn);
        x = xn;
    } while (x < vexGridEndX);
    std::vector<double> visitedY;
    double y = vexGridStartY;
    visitedY.push_back(y);
    do {
        double yn = y + vexGridStep;
        visitedY.push_back(yn);
        y = yn;
    } while (y < vexGridEndY);

    std::vector<double> xs = axisOf(vexGridStartX, vexGridEndX);
    std::vector<double> ys = axisOf(vexGridStartY, vexGridEndY);
    ASSERT_EQ(xs.size(), 732u);
    ASSERT_EQ(ys.size(), 722u);
    ASSERT_EQ(xs.size(), visitedX.size());
    ASSERT_EQ(ys.size(), visitedY.size());
    EXPECT_EQ(std::memcmp(xs.data(), visitedX.data(), xs.size() * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(ys.data(), visitedY.data(), ys.size() * sizeof(double)), 0);
}

TEST(FastHeights, EveryDistinctCornerIsBitIdenticalForEachWidthAndThreadCount) {
    std::vector<double> xs = axisOf(vexGridStartX, vexGridEndX);
    std::vector<double> ys = axisOf(vexGridStartY, vexGridEndY);
    const size_t corners = xs.size() * ys.size();
    ASSERT_EQ(corners, 528504u);
    std::vector<double> literal(corners);
    long inside = 0;
    for (size_t i = 0; i < xs.size(); ++i) {
        for (size_t j = 0; j < ys.size(); ++j) {
            literal[i * ys.size() + j] = vexFractal_MandelbrotHeight(xs[i], ys[j]);
            inside += literal[i * ys.size() + j] == 1.0;
        }
    }
    ASSERT_EQ(inside, 63368);
    LanesGuard guard;
    for (int lanes : supportedLanes()) {
        ASSERT_TRUE(vexKernels_SelectLanes(lanes));
        for (int threads : {1, 3}) {
            std::vector<double> fast(corners, -1.0);
            vexFractal_FillHeightGrid(xs.data(), static_cast<int>(xs.size()), ys.data(),
                                      static_cast<int>(ys.size()), fast.data(), threads);
            EXPECT_EQ(std::memcmp(fast.data(), literal.data(), corners * sizeof(double)), 0)
                << lanes << " lanes, " << threads << " threads";
        }
    }
}

namespace {

// The fast height grid of the points re x im (row-major by re), on two threads, with the lanes
// selected; slots it leaves unwritten stay -1.
std::vector<double> fastHeights(const std::vector<double>& re, const std::vector<double>& im) {
    std::vector<double> fast(re.size() * im.size(), -1.0);
    vexFractal_FillHeightGrid(re.data(), static_cast<int>(re.size()), im.data(),
                              static_cast<int>(im.size()), fast.data(), 2);
    return fast;
}

}  // namespace

TEST(FastHeights, SpecialPointsMatchTheHeightFunction) {
    // Points of the set, points that escape at once, exactly on the threshold, slow escapes
    // near the boundary, orbits that become periodic, and not-a-number.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> re = {0.0,  -2.0, 100.0, 2.0,   1.0,   -2.5,  -0.75, 0.25,
                              -1.0, 0.3,  -0.1,  -1.75, 0.001, -0.75, nan,   1e300};
    std::vector<double> im = {0.0,       -1.8,  1e-9,  0.1,   0.65, -0.1, 0.5,
                              0.0000001, 0.001, 0.643, -0.65, 1.0,  nan,  -2e-300};
    std::vector<double> expected(re.size() * im.size());
    for (size_t i = 0; i < re.size(); ++i) {
        for (size_t j = 0; j < im.size(); ++j) {
            expected[i * im.size() + j] = vexFractal_MandelbrotHeight(re[i], im[j]);
        }
    }
    LanesGuard guard;
    for (int lanes : supportedLanes()) {
        ASSERT_TRUE(vexKernels_SelectLanes(lanes));
        std::vector<double> fast = fastHeights(re, im);
        for (size_t k = 0; k < fast.size(); ++k) {
            // NaN never comes out: NaN input runs the whole budget and gives 1.
            EXPECT_EQ(fast[k], expected[k]) << lanes << " lanes, point " << k;
        }
    }
}

TEST(FastHeights, PointsAroundTheSetsEdgesMatchTheHeightFunction) {
    // Near the edges of the set's two largest components orbits escape late or never, and the
    // fast grid settles every orbit still going at iteration 58 with height 1. Small grids
    // straddle both edges at points all round them, a hair inside and outside, including the
    // cusp at 1/4 and the point -3/4 where the two meet.
    LanesGuard guard;
    const double pi = std::acos(-1.0);
    // Just outside an edge, orbits linger near the (now repelling) cycle for dozens to
    // thousands of iterations before they escape.
    const double offsets[] = {-3e-2, -1e-2, -1e-3, -1e-4, -3e-5, -1e-5, -1e-6, -1e-9, -1e-12, 0.0,
                              1e-12, 1e-9,  1e-6,  1e-5,  3e-5,  1e-4,  1e-3,  1e-2,  3e-2};
    for (int step = 0; step < 48; ++step) {
        double angle = 2.0 * pi * (step % 24) / 24.0;
        // The cardioid's edge, c = e^(i angle) / 2 - e^(2 i angle) / 4, then the disc's,
        // c = -1 + e^(i angle) / 4.
        double edgeX = step < 24 ? std::cos(angle) / 2.0 - std::cos(2.0 * angle) / 4.0
                                 : -1.0 + std::cos(angle) / 4.0;
        double edgeY =
            step < 24 ? std::sin(angle) / 2.0 - std::sin(2.0 * angle) / 4.0 : std::sin(angle) / 4.0;
        std::vector<double> re, im;
        for (double offset : offsets) {
            re.push_back(edgeX + offset);
            im.push_back(edgeY + offset);
        }
        std::vector<double> expected(re.size() * im.size());
        for (size_t i = 0; i < re.size(); ++i) {
            for (size_t j = 0; j < im.size(); ++j) {
                expected[i * im.size() + j] = vexFractal_MandelbrotHeight(re[i], im[j]);
            }
        }
        for (int lanes : supportedLanes()) {
            ASSERT_TRUE(vexKernels_SelectLanes(lanes));
            std::vector<double> fast = fastHeights(re, im);
            EXPECT_EQ(std::memcmp(fast.data(), expected.data(), fast.size() * sizeof(double)), 0)
                << lanes << " lanes, edge point " << step;
        }
    }
}

TEST(FastHeights, EscapesAroundTheSettlingIterationMatchTheHeightFunction) {
    // Beyond the cusp, c = 1/4 + d escapes after about pi / sqrt(d) iterations: this run of
    // points escapes anywhere from about 30 to 100 iterations, across iteration 58, from which
    // the fast grid gives height 1 without iterating further. Escapes just before it leave
    // heights a hair below 1; they must come out of the grid exactly as from the function.
    std::vector<double> re, im = {0.0, 1e-4, -3e-4};
    for (int k = 0; k <= 1000; ++k) {
        re.push_back(0.25 + 1e-3 + k * 1e-5);
    }
    std::vector<double> expected(re.size() * im.size());
    int justBelowOne = 0;
    for (size_t i = 0; i < re.size(); ++i) {
        for (size_t j = 0; j < im.size(); ++j) {
            double h = vexFractal_MandelbrotHeight(re[i], im[j]);
            expected[i * im.size() + j] = h;
            justBelowOne += h < 1.0 && h > 1.0 - 1e-12;
        }
    }
    ASSERT_GT(justBelowOne, 10);  // the run does reach the late escapes
    LanesGuard guard;
    for (int lanes : supportedLanes()) {
        ASSERT_TRUE(vexKernels_SelectLanes(lanes));
        std::vector<double> fast = fastHeights(re, im);
        EXPECT_EQ(std::memcmp(fast.data(), expected.data(), fast.size() * sizeof(double)), 0)
            << lanes << " lanes";
    }
}

TEST(FastHeights, EscapedHeightsAreTheHeightFunctionsOwn) {
    // The orbit kernel builds 2^n from its bits instead of calling pow(2, n); it scales an
    // escaped orbit's log10(s) by 2^-n where the height function divides it by 2^n, and clamps
    // 1 - v to +0 where the function clamps v to 1.
    for (int n = -1022; n <= 1023; ++n) {
        ASSERT_EQ(powerOfTwo(n), std::pow(2.0, n)) << n;
    }
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> escapes(10000.0, 1.01e8);
    for (int k = 0; k < 20000; ++k) {
        const double s = escapes(random);
        for (int n = 0; n < settledAt; ++n) {
            double v = std::log10(s) / std::pow(2.0, n);
            if (v > 1.0) {
                v = 1.0;
            }
            const double expected = 1.0 - v;
            const double fast = escapedHeight(s, n);
            ASSERT_EQ(std::memcmp(&fast, &expected, sizeof fast), 0) << s << ", " << n;
        }
    }
    // The largest |z|^2 an orbit can have when it escapes, just below (10000 + 100)^2, gives 1
    // from settledAt on, and not one iteration earlier: settledAt is the least that holds.
    const double largest = 10100.0 * 10100.0;
    EXPECT_EQ(escapedHeight(largest, settledAt), 1.0);
    EXPECT_LT(escapedHeight(largest, settledAt - 1), 1.0);
}

// ---- Band-limited lines and triangles -----------------------------------------------------------

namespace {

// Draws with the fast primitive once per band of a split of the canvas rows into `bands`.
template <class Draw>
void inBands(int height, int bands, Draw draw) {
    for (int b = 0; b < bands; ++b) {
        draw(height * b / bands, height * (b + 1) / bands);
    }
}

// Draws the literal picture once, then the fast one band by band for each split of the rows;
// returns the first split whose canvas differs, described, or "" when all match.
template <class Literal, class Rows>
std::string firstSplitThatDiffers(int width, int height, std::initializer_list<int> splits,
                                  Literal drawLiteral, Rows drawRows) {
    TestCanvas literal(width, height, 0x0000ff);
    drawLiteral();
    for (int bands : splits) {
        TestCanvas fast(width, height, 0x0000ff);
        inBands(height, bands, drawRows);
        if (fast.bytes != literal.bytes) {
            return std::to_string(bands) + " bands: " + firstDifference(literal, fast);
        }
    }
    return "";
}

struct RandomTriangle {
    int x[3], y[3];
    Color colour;
};

// Mostly near the canvas (crossing its edges), some far beyond it, some beyond the 16-bit range
// where the line walk follows the exact slope, and degenerate ones.
RandomTriangle randomTriangle(std::mt19937& random, int width, int height) {
    std::uniform_int_distribution<int> kind(0, 9);
    RandomTriangle t;
    int k = kind(random);
    for (int v = 0; v < 3; ++v) {
        if (k < 6) {
            t.x[v] = std::uniform_int_distribution<int>(-20, width + 20)(random);
            t.y[v] = std::uniform_int_distribution<int>(-20, height + 20)(random);
        } else if (k < 8) {
            t.x[v] = std::uniform_int_distribution<int>(-30000, 30000)(random);
            t.y[v] = std::uniform_int_distribution<int>(-30000, 30000)(random);
        } else if (k < 9) {
            t.x[v] = std::uniform_int_distribution<int>(-100000, 100000)(random);
            t.y[v] = std::uniform_int_distribution<int>(-100000, 100000)(random);
        } else {
            t.x[v] = std::uniform_int_distribution<int>(-2, 3)(random);
            t.y[v] = std::uniform_int_distribution<int>(-2, 3)(random) + height / 2;
        }
    }
    t.colour = static_cast<Color>(random() & 0xffffff);
    return t;
}

void literalTriangle(const RandomTriangle& t) {
    vexRaster_SetColor(t.colour);
    vexRaster_DrawLine(t.x[0], t.y[0], t.x[1], t.y[1]);
    vexRaster_DrawLine(t.x[1], t.y[1], t.x[2], t.y[2]);
    vexRaster_DrawLine(t.x[2], t.y[2], t.x[0], t.y[0]);
    vexRaster_PolygonBegin(t.x[0], t.y[0]);
    vexRaster_PolygonAddVertex(t.x[1], t.y[1]);
    vexRaster_PolygonAddVertex(t.x[2], t.y[2]);
    vexRaster_PolygonFill();
}

}  // namespace

TEST(FastRaster, TrianglesMatchTheLiteralOutlineAndFillInEveryBandSplit) {
    forEachLaneWidth([&] {
        std::mt19937 random(20240611);
        const int sizes[][2] = {{37, 23}, {64, 48}, {1, 9}, {9, 1}};
        for (const auto& size : sizes) {
            int width = size[0], height = size[1];
            for (int round = 0; round < 400; ++round) {
                // A sequence of overlapping triangles, so that the order of drawing matters too.
                std::vector<RandomTriangle> triangles;
                for (int k = 0; k < 5; ++k) {
                    triangles.push_back(randomTriangle(random, width, height));
                }
                std::string differs = firstSplitThatDiffers(
                    width, height, {1, 2, 3, 7},
                    [&] {
                        for (const RandomTriangle& t : triangles) {
                            literalTriangle(t);
                        }
                    },
                    [&](int rowBegin, int rowEnd) {
                        for (const RandomTriangle& t : triangles) {
                            vexRaster_FillTriangleRows(t.x[0], t.y[0], t.x[1], t.y[1], t.x[2],
                                                       t.y[2], t.colour, rowBegin, rowEnd);
                        }
                    });
                ASSERT_EQ(differs, "")
                    << width << "x" << height << " round " << round << ", first triangle ("
                    << triangles[0].x[0] << "," << triangles[0].y[0] << ") (" << triangles[0].x[1]
                    << "," << triangles[0].y[1] << ") (" << triangles[0].x[2] << ","
                    << triangles[0].y[2] << ")";
            }
        }
    });
}

TEST(FastRaster, EdgeCasesOfTheFillAndTheWalk) {
    forEachLaneWidth([&] {
        // Rows whose crossings lie wholly left or right paint the edge pixel; a flat triangle
        // paints its outline only; a triangle crossing all four edges; a line into the far
        // distance.
        const int cases[][6] = {{-10, 0, -5, 0, -10, 5},
                                {50, 2, 60, 4, 55, 9},
                                {0, 0, 4, 0, 0, 4},
                                {0, 0, 1, 2, -3, 2},
                                {1, 2, 0, 0, 5, 0},
                                {3, 5, 20, 5, 9, 5},
                                {-5, -5, 45, 12, 10, 30},
                                {-40000, 3, 40000, 7, 12, 40000},
                                {18, -32768, 19, 32767, 0, 0},
                                {5, 5, 5, 5, 5, 5}};
        for (const auto& c : cases) {
            RandomTriangle t = {{c[0], c[2], c[4]}, {c[1], c[3], c[5]}, 0xff0000};
            TestCanvas literal(41, 17, 0x0000ff);
            literalTriangle(t);
            for (int bands : {1, 4, 17}) {
                TestCanvas fast(41, 17, 0x0000ff);
                inBands(17, bands, [&](int rowBegin, int rowEnd) {
                    vexRaster_FillTriangleRows(c[0], c[1], c[2], c[3], c[4], c[5], 0xff0000,
                                               rowBegin, rowEnd);
                });
                EXPECT_TRUE(fast.bytes == literal.bytes)
                    << c[0] << "," << c[1] << " " << c[2] << "," << c[3] << " " << c[4] << ","
                    << c[5] << ", " << bands << " bands: " << firstDifference(literal, fast);
            }
        }
        // Rows outside the canvas, or an empty band, draw nothing.
        TestCanvas canvas(20, 10, 0x0000ff);
        vexRaster_FillTriangleRows(-5, -5, 30, 4, 8, 20, 0xff0000, -10, 0);
        vexRaster_FillTriangleRows(-5, -5, 30, 4, 8, 20, 0xff0000, 10, 30);
        vexRaster_FillTriangleRows(-5, -5, 30, 4, 8, 20, 0xff0000, 6, 6);
        vexRaster_DrawLineRows(0, 0, 19, 9, 0xff0000, 5, 3);
        EXPECT_TRUE(canvas.pixelsNot(0x0000ff).empty());
    });
}

namespace {

struct RandomCell {
    int x[4], y[4];
    Color colour1, colour2;
};

// Cells shaped like the sweep's (a few pixels wide, up to dozens of rows tall), near and across
// the canvas edges, with level edges, with three corners on one row, and some too wide for the
// one-pass window.
RandomCell randomCell(std::mt19937& random, int width, int height) {
    std::uniform_int_distribution<int> kind(0, 9);
    RandomCell c;
    int k = kind(random);
    int spread = k < 7 ? 12 : k < 9 ? 3 : 40;
    int tall = k < 5 ? 40 : 6;
    int cx = std::uniform_int_distribution<int>(-25, width + 25)(random);
    int cy = std::uniform_int_distribution<int>(-45, height + 45)(random);
    for (int v = 0; v < 4; ++v) {
        c.x[v] = cx + std::uniform_int_distribution<int>(-spread, spread)(random);
        c.y[v] = cy + std::uniform_int_distribution<int>(-tall, tall)(random);
    }
    if (k == 7) {
        c.y[1] = c.y[0];  // a level edge P0 - P1
    } else if (k == 8) {
        c.y[2] = c.y[3] = c.y[0];  // triangle 2 flat
    }
    c.colour1 = static_cast<Color>(random() & 0xffffff);
    c.colour2 = static_cast<Color>(random() & 0xffffff);
    return c;
}

}  // namespace

TEST(FastRaster, CellsMatchTheLiteralTrianglesAndLinesInEveryBandSplit) {
    forEachLaneWidth([&] {
        std::mt19937 random(31337);
        const int sizes[][2] = {{37, 23}, {64, 48}, {1, 9}, {9, 1}, {21, 70}};
        for (const auto& size : sizes) {
            int width = size[0], height = size[1];
            for (int round = 0; round < 300; ++round) {
                // Neighbouring cells overlap, so the order of their pixels is checked too.
                std::vector<RandomCell> cells;
                for (int k = 0; k < 6; ++k) {
                    cells.push_back(randomCell(random, width, height));
                }
                std::string differs = firstSplitThatDiffers(
                    width, height, {1, 2, 5},
                    [&] {
                        for (const RandomCell& c : cells) {
                            drawLiteralCell(c.x, c.y, c.colour1, c.colour2);
                        }
                    },
                    [&](int rowBegin, int rowEnd) {
                        for (const RandomCell& c : cells) {
                            vexRaster_DrawCellRows(c.x, c.y, c.colour1, c.colour2, rowBegin,
                                                   rowEnd);
                        }
                    });
                ASSERT_EQ(differs, "") << width << "x" << height << " round " << round;
            }
        }
    });
}

TEST(FastRaster, CellsTallerThanTheRowTableMatchTheLiteralCell) {
    // Slivers a few columns wide and hundreds of rows tall: in a band of more rows than the
    // kernels' table of cell rows holds, a cell is drawn a table at a time.
    forEachLaneWidth([&] {
        std::mt19937 random(4242);
        const int width = 30, height = 420;
        for (int round = 0; round < 40; ++round) {
            std::vector<RandomCell> cells;
            for (int k = 0; k < 3; ++k) {
                RandomCell c;
                for (int v = 0; v < 4; ++v) {
                    c.x[v] = std::uniform_int_distribution<int>(5, 24)(random);
                    c.y[v] = std::uniform_int_distribution<int>(-20, height + 20)(random);
                }
                c.colour1 = static_cast<Color>(random() & 0xffffff);
                c.colour2 = static_cast<Color>(random() & 0xffffff);
                cells.push_back(c);
            }
            std::string differs = firstSplitThatDiffers(
                width, height, {1, 3},
                [&] {
                    for (const RandomCell& c : cells) {
                        drawLiteralCell(c.x, c.y, c.colour1, c.colour2);
                    }
                },
                [&](int rowBegin, int rowEnd) {
                    for (const RandomCell& c : cells) {
                        vexRaster_DrawCellRows(c.x, c.y, c.colour1, c.colour2, rowBegin, rowEnd);
                    }
                });
            ASSERT_EQ(differs, "") << "round " << round;
        }
    });
}

#ifndef _WIN32  // the guard pages are mapped with mmap
TEST(FastRaster, CellsAtTheEndsOfTheFrameBufferTouchNoByteBeyondIt) {
    // A frame buffer flush against an inaccessible page, after its last byte (the top row's
    // right end, rows being stored bottom-up) or before its first (the bottom row's left end):
    // the wide loads and stores of a cell row must stay within the row's pixels, and a byte read
    // beyond them ends the test with a fault. The bytes must also be the literal cell's.
    const long long page = sysconf(_SC_PAGESIZE);
    const int width = 29, height = 11;
    const long long bytes = 3LL * width * height;
    unsigned char* map = static_cast<unsigned char*>(
        mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(map, MAP_FAILED);
    ASSERT_EQ(mprotect(map, page, PROT_NONE), 0);
    ASSERT_EQ(mprotect(map + 2 * page, page, PROT_NONE), 0);
    struct End {
        unsigned char* buffer;
        int y0, y1;  // the rows near that end of the buffer
    };
    const End ends[] = {{map + 2 * page - bytes, -12, 4}, {map + page, height - 5, height + 12}};
    forEachLaneWidth([&] {
        std::mt19937 random(2718);
        for (const End& end : ends) {
            for (int round = 0; round < 200; ++round) {
                int x[4], y[4];
                const int cx = std::uniform_int_distribution<int>(-12, width + 12)(random);
                for (int v = 0; v < 4; ++v) {
                    x[v] = cx + std::uniform_int_distribution<int>(-9, 9)(random);
                    y[v] = std::uniform_int_distribution<int>(end.y0, end.y1)(random);
                }
                const Color colour1 = static_cast<Color>(random() & 0xffffff);
                const Color colour2 = static_cast<Color>(random() & 0xffffff);
                TestCanvas literal(width, height, 0x0000ff);
                drawLiteralCell(x, y, colour1, colour2);
                vexRaster_Initialize(width, height, end.buffer);
                vexRaster_SetPenSize(0);
                vexRaster_SetClearColor(0x0000ff);
                vexRaster_Clear();
                vexRaster_DrawCellRows(x, y, colour1, colour2, 0, height);
                ASSERT_EQ(std::memcmp(end.buffer, literal.bytes.data(), bytes), 0)
                    << "round " << round << ", cell at column " << cx;
            }
        }
    });
    munmap(map, 3 * page);
}
#endif

TEST(FastRaster, LinesMatchTheLiteralLineInEveryBandSplit) {
    forEachLaneWidth([&] {
        std::mt19937 random(77);
        std::uniform_int_distribution<int> near(-15, 45);
        std::uniform_int_distribution<int> far(-70000, 70000);
        for (int round = 0; round < 3000; ++round) {
            bool distant = round % 5 == 0;
            int x1 = distant ? far(random) : near(random),
                y1 = distant ? far(random) : near(random);
            int x2 = near(random), y2 = near(random);
            TestCanvas literal(31, 29, 0x0000ff, 0xff0000);
            vexRaster_DrawLine(x1, y1, x2, y2);
            for (int bands : {1, 2, 5}) {
                TestCanvas fast(31, 29, 0x0000ff);
                inBands(29, bands, [&](int rowBegin, int rowEnd) {
                    vexRaster_DrawLineRows(x1, y1, x2, y2, 0xff0000, rowBegin, rowEnd);
                });
                ASSERT_TRUE(fast.bytes == literal.bytes)
                    << "(" << x1 << "," << y1 << ") to (" << x2 << "," << y2 << "), " << bands
                    << " bands: " << firstDifference(literal, fast);
            }
        }
    });
}

// ---- Whole grids on small canvases --------------------------------------------------------------

namespace {

struct SmallScene {
    const char* name;
    int width, height;
    double x0, x1, y0, y1, step;
    double prism[12];
};

// Grids of the real surface seen closer and from other angles, so that facets cross every
// canvas edge, lie wholly beyond some, and are large enough to show rounding differences.
const SmallScene smallScenes[] = {
    {"scene prism, small canvas",
     97,
     61,
     vexGridStartX,
     vexGridEndX,
     vexGridStartY,
     vexGridEndY,
     0.05,
     {vexScenePrism.x1, vexScenePrism.y1, vexScenePrism.z1, vexScenePrism.x2, vexScenePrism.y2,
      vexScenePrism.z2, vexScenePrism.keepBounds, vexScenePrism.viewHalfSize, vexScenePrism.azimuth,
      vexScenePrism.elevation, vexScenePrism.eyeDepth, vexScenePrism.screenDistance}},
    {"close up",
     120,
     90,
     -0.9,
     -0.4,
     -0.3,
     0.3,
     0.02,
     {-0.8, -0.2, 0.0, -0.5, 0.2, 1.0, 1, 400.0, 200.0, 50.0, -900.0, 600.0}},
    {"steep view",
     64,
     160,
     -2.1,
     0.6,
     -1.3,
     1.3,
     0.09,
     {-2.0, -1.2, 0.0, 0.5, 1.2, 1.0, 1, 300.0, 15.0, 70.0, -2000.0, 3000.0}},
    // Seen from the opposite side, the whole grid on the canvas: its last column and last row,
    // whose outlines no later cell repaints, are in view.
    {"far side",
     150,
     120,
     -2.2,
     0.7,
     -1.2,
     1.2,
     0.15,
     {-2.2, -1.2, 0.0, 0.7, 1.2, 1.0, 1, 300.0, 60.0, 35.0, -3000.0, 420.0}},
};

void prismOf(const SmallScene& s) {
    const double* p = s.prism;
    vex3D_InitializePrism(p[0], p[1], p[2], p[3], p[4], p[5], static_cast<int>(p[6]), p[7], p[8],
                          p[9], p[10], p[11]);
}

std::vector<double> stepAxis(double start, double end, double step) {
    std::vector<double> axis;
    double c = start;
    axis.push_back(c);
    do {
        c = c + step;
        axis.push_back(c);
    } while (c < end);
    return axis;
}

}  // namespace

TEST(FastFrame, SmallGridsMatchTheLiteralLoopForEveryWidthAndThreadCount) {
    LanesGuard guard;
    for (const SmallScene& s : smallScenes) {
        std::vector<double> xs = stepAxis(s.x0, s.x1, s.step);
        std::vector<double> ys = stepAxis(s.y0, s.y1, s.step);
        TestCanvas literal(s.width, s.height);
        prismOf(s);
        sweepStart();
        drawGridLiterally(xs, ys);
        revealState(0, 0);
        ASSERT_GT(literal.pixelsNot(0xffffff).size(), 200u) << s.name;
        for (int lanes : supportedLanes()) {
            ASSERT_TRUE(vexKernels_SelectLanes(lanes));
            for (int threads : {1, 2, 3, 5, 8}) {
                TestCanvas fast(s.width, s.height);
                prismOf(s);
                sweepStart();
                vexFractal_DrawGridFast(xs.data(), static_cast<int>(xs.size()), ys.data(),
                                        static_cast<int>(ys.size()), threads);
                revealState(0, 0);
                ASSERT_TRUE(fast.bytes == literal.bytes)
                    << s.name << ", " << lanes << " lanes, " << threads
                    << " threads: " << firstDifference(literal, fast);
            }
        }
    }
}

TEST(FastFrame, ZeroLengthEdgesDrawAndReportAsTheLiteralLoop) {
    // A repeated corner coordinate makes edges of zero length: the renderer prints a message
    // for each, and the fast frame must print the same, in the same order, and draw the same.
    std::vector<double> xs = {-1.0, -0.9, -0.9, -0.8};
    std::vector<double> ys = {-0.3, -0.2, -0.1, -0.1};
    const SmallScene& s = smallScenes[1];
    TestCanvas literal(s.width, s.height);
    prismOf(s);
    sweepStart();
    testing::internal::CaptureStdout();
    drawGridLiterally(xs, ys);
    std::string literalOut = testing::internal::GetCapturedStdout();
    revealState(0, 0);
    ASSERT_NE(literalOut.find("zero-length vector"), std::string::npos);

    TestCanvas fast(s.width, s.height);
    prismOf(s);
    sweepStart();
    testing::internal::CaptureStdout();
    vexFractal_DrawGridFast(xs.data(), 4, ys.data(), 4, 2);
    std::string fastOut = testing::internal::GetCapturedStdout();
    revealState(0, 0);
    EXPECT_EQ(fastOut, literalOut);
    EXPECT_TRUE(fast.bytes == literal.bytes) << firstDifference(literal, fast);
    // Drawn the literal way, the frame has no phases of its own to report.
    for (double seconds : vexFractal_LastFramePhases().seconds) {
        EXPECT_EQ(seconds, 0.0);
    }
}

TEST(FastFrame, PhasesFitInsideTheFrame) {
    const SmallScene& s = smallScenes[0];
    std::vector<double> xs = stepAxis(s.x0, s.x1, s.step);
    std::vector<double> ys = stepAxis(s.y0, s.y1, s.step);
    TestCanvas canvas(s.width, s.height);
    prismOf(s);
    sweepStart();
    const auto start = std::chrono::steady_clock::now();
    vexFractal_DrawGridFast(xs.data(), static_cast<int>(xs.size()), ys.data(),
                            static_cast<int>(ys.size()), 2);
    const double frame =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const VexFramePhases phases = vexFractal_LastFramePhases();
    double sum = 0.0;
    for (double seconds : phases.seconds) {
        EXPECT_GE(seconds, 0.0);
        sum += seconds;
    }
    EXPECT_GT(phases.seconds[vexPhaseHeights], 0.0);
    EXPECT_GT(phases.seconds[vexPhaseDrawing], 0.0);
    EXPECT_LE(sum, frame);
}
