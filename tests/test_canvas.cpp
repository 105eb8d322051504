// Tests of the canvas: geometry and the bottom-up row table, pixel writes, the pen footprint,
// clipping, clear, colour packing and the red/blue swap, and the bulk clear and swap against
// the pixel-by-pixel ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

#include "raster/raster.h"
#include "raster/raster_internal.h"
#include "support/testutil.h"

namespace {

const int bigWidth = 6000;
const int bigHeight = 4800;
const int bigBytes = 86400000;
const unsigned char sentinel = 0xA5;

// (x, y) of a byte offset, worked out from the layout: rows bottom-up, three bytes a pixel.
std::pair<int, int> pixelAt(long long offset, int width, int height) {
    long long index = offset / 3;
    return {static_cast<int>(index % width), height - 1 - static_cast<int>(index / width)};
}

// The program's own canvas size, on one buffer shared by the suite. Each test starts with every
// byte (and the spare byte past the end) at a sentinel value, so any write shows.
class BigCanvas : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { buffer = new std::vector<unsigned char>(bigBytes + 1); }
    static void TearDownTestSuite() {
        delete buffer;
        buffer = nullptr;
    }
    void SetUp() override {
        std::fill(buffer->begin(), buffer->end(), sentinel);
        clipEnabled = 1;
        vexRaster_SetPenSize(0);
        vexRaster_SetColor(0);
        ASSERT_EQ(vexRaster_Initialize(bigWidth, bigHeight, buffer->data()), bigBytes);
    }
    // Pixels with any byte changed, and whether the spare byte past the canvas was touched.
    PixelSet changedPixels() const {
        PixelSet changed;
        const unsigned char* bytes = buffer->data();
        for (long long i = 0; i < bigBytes; ++i) {
            if (bytes[i] != sentinel) {
                changed.insert(pixelAt(i, bigWidth, bigHeight));
            }
        }
        return changed;
    }
    bool spareByteTouched() const { return (*buffer)[bigBytes] != sentinel; }
    static std::vector<unsigned char>* buffer;
};

std::vector<unsigned char>* BigCanvas::buffer = nullptr;

// Bytes that are neither a colour of the tests nor a repeating pattern, so a misplaced or
// missing byte shows.
std::vector<unsigned char> noise(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<unsigned char> bytes(size);
    for (unsigned char& b : bytes) {
        b = static_cast<unsigned char>(random());
    }
    return bytes;
}

// Sizes with every remainder of whole pixel groups, canvases of one slice and of several, and
// thread counts that split them evenly, unevenly, or not at all (0 and below mean one).
const int fastSizes[][2] = {{1, 1}, {5, 3}, {7, 1}, {8, 2}, {1001, 37}, {4097, 9}};
const int fastThreadCounts[] = {1, 2, 3, 0, -4};

// A small canvas with the pen back at 0 and clipping on, whatever an earlier test left.
class SmallCanvas : public ::testing::Test {
  protected:
    void SetUp() override {
        clipEnabled = 1;
        vexRaster_SetPenSize(0);
    }
    void TearDown() override { vexRaster_SetPenSize(0); }
};

}  // namespace

// ---- Geometry and offsets -----------------------------------------------------------------------

TEST_F(BigCanvas, GeometryAndBottomUpRowTable) {
    EXPECT_EQ(canvasWidth, 6000);
    EXPECT_EQ(canvasHeight, 4800);
    EXPECT_EQ(canvasBytesPerPixel, 3);
    EXPECT_EQ(canvasByteSize, 86400000);
    EXPECT_EQ(canvasCenterX, 3000);
    EXPECT_EQ(canvasCenterY, 2400);
    EXPECT_EQ(canvasBuffer, buffer->data());

    // Row table entry 0 is 4799 * 6000, entry 4799 is 0: the top row is the last in memory.
    EXPECT_EQ(vexRaster_PixelOffset(0, 0), 28794000 * 3);
    EXPECT_EQ(vexRaster_PixelOffset(0, 4799), 0);
    EXPECT_EQ(vexRaster_PixelOffset(5999, 0), 86399997);
    EXPECT_EQ(vexRaster_PixelOffset(5999, 4799), 17997);
    EXPECT_EQ(vexRaster_PixelOffset(17, 2400), (2399 * 6000 + 17) * 3);
    EXPECT_TRUE(changedPixels().empty());
}

TEST_F(BigCanvas, PlotStoresRedGreenBlueAtTheMappedOffset) {
    vexRaster_SetColor(0x123456);
    vexRaster_Plot(0, 0);
    const unsigned char* bytes = buffer->data();
    EXPECT_EQ(bytes[86382000], 0x12);
    EXPECT_EQ(bytes[86382001], 0x34);
    EXPECT_EQ(bytes[86382002], 0x56);

    // The top byte of a colour is ignored.
    vexRaster_SetColor(static_cast<Color>(0xAB123456u));
    vexRaster_Plot(0, 4799);
    EXPECT_EQ(bytes[0], 0x12);
    EXPECT_EQ(bytes[1], 0x34);
    EXPECT_EQ(bytes[2], 0x56);

    EXPECT_EQ(changedPixels(), (PixelSet{{0, 0}, {0, 4799}}));
    EXPECT_FALSE(spareByteTouched());
}

TEST_F(BigCanvas, OutsideTheCanvasNothingIsStored) {
    vexRaster_SetColor(0x123456);
    vexRaster_Plot(-1, 0);
    vexRaster_Plot(6000, 0);
    vexRaster_Plot(0, -1);
    vexRaster_Plot(0, 4800);
    vexRaster_Plot(INT_MIN, INT_MIN);
    vexRaster_Plot(INT_MAX, INT_MAX);
    vexRaster_PutPixel(86400000);
    vexRaster_PutPixel(-3);
    vexRaster_PutPixel(INT_MIN);
    vexRaster_PutPixel(INT_MAX - 2);
    // The same with a footprint: only positions inside the buffer count.
    vexRaster_SetPenSize(1);
    vexRaster_PutPixel(86400000 + 3 * 6000 + 6);
    vexRaster_PutPixel(-3 * 6000 - 6);
    EXPECT_TRUE(changedPixels().empty());
    EXPECT_FALSE(spareByteTouched());
}

TEST_F(BigCanvas, PenFootprintWrapsToTheNeighbouringMemoryRow) {
    // The column left of x = 0 lies at the right end of the memory rows just before, which
    // hold the canvas rows one lower.
    vexRaster_SetColor(0x00ff00);
    vexRaster_SetPenSize(1);
    vexRaster_Plot(0, 10);
    PixelSet expected{{0, 9},  {1, 9},     {0, 10},    {1, 10},   {0, 11},
                      {1, 11}, {5999, 10}, {5999, 11}, {5999, 12}};
    EXPECT_EQ(changedPixels(), expected);
}

TEST_F(BigCanvas, ClearFillsEveryByteAndKeepsTheDrawingColour) {
    vexRaster_SetColor(0x123456);
    vexRaster_SetClearColor(0xffffff);
    vexRaster_Clear();
    long long notWhite = std::count_if(buffer->begin(), buffer->begin() + bigBytes,
                                       [](unsigned char b) { return b != 0xff; });
    EXPECT_EQ(notWhite, 0);
    EXPECT_FALSE(spareByteTouched());

    // The drawing colour in force before the clear is still the one plotted afterwards.
    vexRaster_Plot(7, 3);
    const unsigned char* pixel = buffer->data() + vexRaster_PixelOffset(7, 3);
    EXPECT_EQ(pixel[0], 0x12);
    EXPECT_EQ(pixel[1], 0x34);
    EXPECT_EQ(pixel[2], 0x56);
}

TEST_F(BigCanvas, FastClearAndSwapMatchTheLiteralOnesOnTheProgramsCanvas) {
    vexRaster_SetColor(0x123456);
    vexRaster_SetClearColor(0xffffff);
    vexRaster_ClearFast(3);
    long long notWhite = std::count_if(buffer->begin(), buffer->begin() + bigBytes,
                                       [](unsigned char b) { return b != 0xff; });
    EXPECT_EQ(notWhite, 0);
    EXPECT_FALSE(spareByteTouched());

    // A colour whose bytes differ, so every pixel's byte order shows.
    vexRaster_SetClearColor(0x3c5a78);
    vexRaster_ClearFast(2);
    long long wrong = 0;
    for (long long i = 0; i < bigBytes; i += 3) {
        const unsigned char* p = buffer->data() + i;
        wrong += p[0] != 0x3c || p[1] != 0x5a || p[2] != 0x78;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_FALSE(spareByteTouched());
    vexRaster_Plot(7, 3);
    EXPECT_EQ((*buffer)[vexRaster_PixelOffset(7, 3)], 0x12);

    std::vector<unsigned char> literal = noise(bigBytes + 1, 17);
    std::copy(literal.begin(), literal.end(), buffer->begin());
    vexRaster_SwapRedBlue(literal.data());
    EXPECT_EQ(vexRaster_SwapRedBlueFast(buffer->data(), 2), 0);
    EXPECT_TRUE(literal == *buffer);
}

TEST_F(BigCanvas, SizingWithANullBufferBuildsTheTableAndWritesNothing) {
    EXPECT_EQ(vexRaster_Initialize(6000, 4800, nullptr), 86400000);
    EXPECT_EQ(canvasBuffer, nullptr);
    EXPECT_EQ(canvasByteSize, 86400000);
    EXPECT_EQ(canvasCenterX, 3000);
    EXPECT_EQ(canvasCenterY, 2400);
    EXPECT_EQ(vexRaster_PixelOffset(0, 0), 86382000);
    EXPECT_EQ(vexRaster_PixelOffset(0, 4799), 0);
    EXPECT_TRUE(changedPixels().empty());
}

TEST_F(SmallCanvas, OddSizesAndRepeatedInitialisation) {
    unsigned char bytes[5 * 3 * 3];
    EXPECT_EQ(vexRaster_Initialize(5, 3, bytes), 45);
    EXPECT_EQ(canvasCenterX, 2);
    EXPECT_EQ(canvasCenterY, 1);
    EXPECT_EQ(vexRaster_PixelOffset(0, 0), 30);
    EXPECT_EQ(vexRaster_PixelOffset(4, 2), 12);

    // A second initialisation replaces geometry, buffer and table.
    unsigned char other[7 * 1 * 3];
    EXPECT_EQ(vexRaster_Initialize(7, 1, other), 21);
    EXPECT_EQ(canvasBuffer, other);
    EXPECT_EQ(canvasCenterX, 3);
    EXPECT_EQ(canvasCenterY, 0);
    EXPECT_EQ(vexRaster_PixelOffset(6, 0), 18);

    // The tallest canvas the table describes.
    EXPECT_EQ(vexRaster_Initialize(1, 65536, nullptr), 196608);
    EXPECT_EQ(vexRaster_PixelOffset(0, 0), 65535 * 3);
    EXPECT_EQ(vexRaster_PixelOffset(0, 65535), 0);

    // The largest byte size an int holds.
    EXPECT_EQ(vexRaster_Initialize(715827882, 1, nullptr), 2147483646);
}

// ---- Pen footprint --------------------------------------------------------------------------

TEST_F(SmallCanvas, FootprintIsASquareCentredOnThePixel) {
    TestCanvas canvas(9, 7);
    vexRaster_SetPenSize(2);
    vexRaster_Plot(4, 3);
    PixelSet expected;
    for (int y = 1; y <= 5; ++y) {
        for (int x = 2; x <= 6; ++x) {
            expected.insert({x, y});
        }
    }
    EXPECT_EQ(canvas.pixelsNot(0xffffff), expected);
}

TEST_F(SmallCanvas, FootprintAtTheEndsOfTheBufferIsCutOff) {
    TestCanvas canvas(5, 3);
    vexRaster_SetPenSize(1);
    // The last pixel in memory: positions after the buffer drop, the one right of it wraps to
    // the start of the top row.
    vexRaster_Plot(4, 0);
    EXPECT_EQ(canvas.pixelsNot(0xffffff), (PixelSet{{3, 0}, {4, 0}, {3, 1}, {4, 1}, {0, 0}}));
    EXPECT_EQ(canvas.bytes.back(), 0);

    TestCanvas other(5, 3);
    vexRaster_SetPenSize(1);
    // The first pixel in memory: positions before the buffer drop.
    vexRaster_Plot(0, 2);
    EXPECT_EQ(other.pixelsNot(0xffffff), (PixelSet{{0, 2}, {1, 2}, {0, 1}, {1, 1}, {4, 2}}));
}

TEST_F(SmallCanvas, NegativePenWritesNothing) {
    TestCanvas canvas(6, 4, 0xffffff, 0xff0000);
    vexRaster_SetPenSize(-1);
    vexRaster_Plot(2, 2);
    vexRaster_PutPixel(0);
    vexRaster_SetClearColor(0x000000);
    vexRaster_Clear();
    EXPECT_TRUE(canvas.pixelsNot(0xffffff).empty());

    vexRaster_SetPenSize(INT_MIN);
    vexRaster_Plot(2, 2);
    EXPECT_TRUE(canvas.pixelsNot(0xffffff).empty());
}

TEST_F(SmallCanvas, ClearWithAPenGivesTheSameCanvas) {
    TestCanvas canvas(7, 5);
    vexRaster_SetPenSize(1);
    vexRaster_SetClearColor(0x00ff00);
    vexRaster_Clear();
    EXPECT_EQ(canvas.pixelsOf(0x00ff00).size(), 35u);
    EXPECT_EQ(canvas.bytes.back(), 0);
}

// ---- Empty canvas, colours, swap ------------------------------------------------------------

TEST_F(SmallCanvas, EmptyCanvasTouchesNoByte) {
    std::vector<unsigned char> bytes(8, sentinel);
    EXPECT_EQ(vexRaster_Initialize(0, 4, bytes.data()), 0);
    vexRaster_SetClearColor(0x000000);
    vexRaster_Clear();
    EXPECT_EQ(vexRaster_SwapRedBlue(bytes.data()), 0);
    EXPECT_EQ(vexRaster_Initialize(4, 0, bytes.data()), 0);
    vexRaster_Clear();
    vexRaster_SwapRedBlue(bytes.data());
    vexRaster_Plot(0, 0);
    EXPECT_EQ(bytes, std::vector<unsigned char>(8, sentinel));
}

TEST(Colour, MakeColorPutsTheLowByteOfRedOverGreenAndBlue) {
    EXPECT_EQ(vexRaster_MakeColor(0xFF0000, 200), 0xC80000);
    EXPECT_EQ(vexRaster_MakeColor(0x123456, 0x1FF), 0xFF3456);
    EXPECT_EQ(vexRaster_MakeColor(0xFF0000, 0), 0x000000);
    EXPECT_EQ(vexRaster_MakeColor(0xFF0000, -1), 0xFF0000);
    EXPECT_EQ(vexRaster_MakeColor(static_cast<int>(0xFFFFFFFFu), 0x12), 0x12FFFF);
}

TEST_F(SmallCanvas, SwapRedBlueExchangesFirstAndThirdByteOfTheGivenBuffer) {
    TestCanvas canvas(3, 2, 0x000000, 0x123456);
    vexRaster_Plot(0, 0);
    vexRaster_SetColor(0xff0000);
    vexRaster_Plot(2, 1);

    // Work on a copy: the buffer passed is the one converted, not the canvas's.
    std::vector<unsigned char> copy = canvas.bytes;
    EXPECT_EQ(vexRaster_SwapRedBlue(copy.data()), 0);
    EXPECT_EQ(canvas.at(0, 0), 0x123456);
    size_t topLeft = 3 * 3;  // canvas row 0 is the second memory row
    EXPECT_EQ(copy[topLeft], 0x56);
    EXPECT_EQ(copy[topLeft + 1], 0x34);
    EXPECT_EQ(copy[topLeft + 2], 0x12);
    size_t bottomRight = 2 * 3;
    EXPECT_EQ(copy[bottomRight], 0x00);
    EXPECT_EQ(copy[bottomRight + 2], 0xff);
    EXPECT_EQ(copy.back(), 0);

    // Twice restores the original order.
    vexRaster_SwapRedBlue(copy.data());
    EXPECT_EQ(copy, canvas.bytes);
}

// ---- Bulk clear and swap ----------------------------------------------------------------------

TEST_F(SmallCanvas, FastClearGivesTheLiteralCanvasForEveryPenColourAndThreadCount) {
    // Grey, coloured, and with a top byte that must be ignored.
    const Color colours[] = {0xffffff, 0x000000, 0x123456, static_cast<Color>(0xAB00FF80u)};
    const int pens[] = {0, 1, 2, -1, INT_MIN};
    for (const auto& size : fastSizes) {
        int width = size[0], height = size[1];
        size_t bytes = static_cast<size_t>(width) * height * 3 + 1;
        std::vector<unsigned char> start = noise(bytes, width * 31 + height);
        for (Color colour : colours) {
            for (int pen : pens) {
                std::vector<unsigned char> literal = start;
                vexRaster_Initialize(width, height, literal.data());
                vexRaster_SetPenSize(pen);
                vexRaster_SetClearColor(colour);
                vexRaster_Clear();
                for (int threads : fastThreadCounts) {
                    SCOPED_TRACE(::testing::Message()
                                 << width << " x " << height << ", colour " << std::hex << colour
                                 << std::dec << ", pen " << pen << ", " << threads << " threads");
                    std::vector<unsigned char> fast = start;
                    vexRaster_Initialize(width, height, fast.data());
                    vexRaster_SetColor(0x010203);
                    vexRaster_ClearFast(threads);
                    ASSERT_TRUE(fast == literal);

                    // The drawing colour is the one set before the clear.
                    vexRaster_SetPenSize(0);
                    vexRaster_Plot(0, 0);
                    const unsigned char* pixel = fast.data() + vexRaster_PixelOffset(0, 0);
                    EXPECT_EQ(pixel[0], 0x01);
                    EXPECT_EQ(pixel[2], 0x03);
                    vexRaster_SetPenSize(pen);
                }
            }
        }
    }
}

TEST_F(SmallCanvas, FastSwapGivesTheLiteralBytesForEveryThreadCount) {
    for (const auto& size : fastSizes) {
        int width = size[0], height = size[1];
        size_t bytes = static_cast<size_t>(width) * height * 3 + 1;
        std::vector<unsigned char> start = noise(bytes, width * 7 + height);
        std::vector<unsigned char> literal = start;
        vexRaster_Initialize(width, height, nullptr);
        vexRaster_SwapRedBlue(literal.data());
        ASSERT_NE(literal, start);
        for (int threads : fastThreadCounts) {
            SCOPED_TRACE(::testing::Message()
                         << width << " x " << height << ", " << threads << " threads");
            // The buffer given is converted, whatever the canvas's own buffer is.
            std::vector<unsigned char> fast = start;
            EXPECT_EQ(vexRaster_SwapRedBlueFast(fast.data(), threads), 0);
            ASSERT_TRUE(fast == literal);
            vexRaster_SwapRedBlueFast(fast.data(), threads);
            EXPECT_TRUE(fast == start);
        }
    }
}

TEST_F(SmallCanvas, FastClearAndSwapOfAnEmptyCanvasTouchNoByte) {
    std::vector<unsigned char> bytes(8, sentinel);
    vexRaster_Initialize(0, 4, bytes.data());
    vexRaster_SetClearColor(0x000000);
    vexRaster_ClearFast(2);
    EXPECT_EQ(vexRaster_SwapRedBlueFast(bytes.data(), 2), 0);
    EXPECT_EQ(bytes, std::vector<unsigned char>(8, sentinel));
}

// ---- Arguments the canvas cannot describe -----------------------------------------------------

TEST(CanvasDeathTest, UnsupportedSizesAreFatal) {
    EXPECT_EXIT(
        {
            sendStandardOutputToDeathCapture();
            vexRaster_Initialize(1, 65537, nullptr);
        },
        ::testing::ExitedWithCode(fatalExitStatus),
        "^canvas of 1 x 65537 pixels not supported \\(vexRaster_Initialize\\)\n$");
    EXPECT_EXIT(
        {
            sendStandardOutputToDeathCapture();
            vexRaster_Initialize(715827883, 1, nullptr);
        },
        ::testing::ExitedWithCode(fatalExitStatus),
        "^canvas of 715827883 x 1 pixels not supported \\(vexRaster_Initialize\\)\n$");
    EXPECT_EXIT(
        {
            sendStandardOutputToDeathCapture();
            vexRaster_Initialize(6000, -4800, nullptr);
        },
        ::testing::ExitedWithCode(fatalExitStatus), "^canvas of 6000 x -4800 pixels not supported");
}
