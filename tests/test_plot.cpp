// Tests of the program driver: the banner and the two passes of the plot routine.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/driver_internal.h"
#include "output/output.h"
#include "raster/raster.h"
#include "support/testutil.h"

namespace {

std::string capturedBanner() {
    testing::internal::CaptureStdout();
    int result = vexPlot_Banner();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 0);
    return out;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start + 1));
        start = end + 1;
    }
    return lines;
}

#ifndef _WIN32
// A working folder for the real program, holding the font it reads.
void provideFont(const TempDir& dir) {
    writeFile(dir.file("vexMSDOS.fon"), readFile(VEX_FONT_PATH));
}
#endif

}  // namespace

// ---- Banner -------------------------------------------------------------------------------------

TEST(Banner, TwentyOneLinesOfEightyBytesTheLastWithoutNewline) {
    std::string banner = capturedBanner();
    EXPECT_EQ(banner.size(), 1679u);
    std::vector<std::string> lines = splitLines(banner);
    ASSERT_EQ(lines.size(), 21u);
    for (size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(lines[i].size(), 80u) << "line " << i + 1;
        EXPECT_EQ(lines[i].back(), '\n') << "line " << i + 1;
    }
    EXPECT_EQ(lines[20].size(), 79u);
    EXPECT_NE(lines[20].back(), '\n');
}

TEST(Banner, FramesBarsAndTextColumns) {
    std::vector<std::string> lines = splitLines(capturedBanner());
    ASSERT_EQ(lines.size(), 21u);
    const std::string frame = " *" + std::string(76, '-') + "*";
    const std::string blank = " |" + std::string(76, ' ') + "|";
    for (int number = 1; number <= 21; ++number) {
        std::string line = lines[number - 1].substr(0, 79);
        bool isFrame = number == 1 || number == 7 || number == 11 || number == 14 || number == 17 ||
                       number == 21;
        if (isFrame) {
            EXPECT_EQ(line, frame) << "line " << number;
            continue;
        }
        if (number == 2 || number == 6) {
            EXPECT_EQ(line, blank) << "line " << number;
            continue;
        }
        // Column n is index n - 1: bars in columns 2 and 79, text from column 6 to 75.
        EXPECT_EQ(line.substr(0, 5), " |   ") << "line " << number;
        EXPECT_NE(line[5], ' ') << "line " << number;
        EXPECT_EQ(line.substr(75), "   |") << "line " << number;
    }
    // The right-hand items of the heading end at column 75.
    EXPECT_EQ(lines[2].substr(50, 25), "Version 1.0  Release a1.0");
    EXPECT_EQ(lines[3].substr(60, 15), "Wed 15 May 2006");
    EXPECT_EQ(lines[4].substr(67, 8), "1200 EDT");
    EXPECT_EQ(lines[2].substr(5, 16), "3V Azodevir Iror");
    // With blanks between the left and the right item.
    EXPECT_EQ(lines[2][49], ' ');
    EXPECT_EQ(lines[3][59], ' ');
    EXPECT_EQ(lines[4][66], ' ');
}

// ---- Plot frame ---------------------------------------------------------------------------------

TEST(PlotFrame, SizingPassSetsTheGeometryAndNeitherDrawsNorPrints) {
    TestCanvas earlier(4, 3, 0x123456);
    std::vector<unsigned char> before = earlier.bytes;

    testing::internal::CaptureStdout();
    int small = vexPlot_MandelbrotSet(2, 2, 24, nullptr);
    int big = vexPlot_MandelbrotSet(6000, 4800, 24, nullptr);
    std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(small, 13);
    EXPECT_EQ(big, 86400001);
    EXPECT_EQ(out, "");
    EXPECT_EQ(earlier.bytes, before);
    EXPECT_EQ(canvasBuffer, nullptr);
    EXPECT_EQ(canvasByteSize, 86400000);
    EXPECT_EQ(canvasCenterX, 3000);
    EXPECT_EQ(canvasCenterY, 2400);
}

#ifndef _WIN32
// POSIX only: the render pass may end the process, so it runs in a forked child.
TEST(PlotFrame, RenderPassClearsTheCanvasAndReturnsTheSizingValue) {
    // The render pass goes on to the scene, which may end the process, so it runs in a child
    // in a folder of its own, with the font beside it. The canvas has the program's size: on a
    // smaller one the surface covers every pixel and would hide a missing clear, while here the
    // margins around it and between the labels are left as the clear made them.
    TempDir dir;
    provideFont(dir);
    const int width = 6000;
    const int height = 4800;
    const int size = width * height * 3;
    RunResult child = runInChild(
        [&] {
            // A grey the picture never holds: its surface is pure red, its labels black on white.
            const unsigned char marker = 0x5a;
            std::vector<unsigned char> frame(size + 1, marker);
            int sizing = vexPlot_MandelbrotSet(width, height, 24, nullptr);
            int render = vexPlot_MandelbrotSet(width, height, 24, frame.data());
            if (sizing != size + 1) {
                return 2;
            }
            if (render != sizing) {
                return 3;
            }
            // The clear reaches every pixel: none is left as the buffer held it.
            for (int i = 0; i < size; i += 3) {
                if (frame[i] == marker && frame[i + 1] == marker && frame[i + 2] == marker) {
                    std::printf("pixel %d keeps the buffer's bytes\n", i / 3);
                    return 4;
                }
            }
            // The clear stops at the canvas: the byte after it is untouched.
            return frame.back() == marker ? 0 : 5;
        },
        dir.path);
    EXPECT_EQ(child.signal, 0);
    EXPECT_EQ(child.exitStatus, 0) << child.out << child.err;
}
#endif
