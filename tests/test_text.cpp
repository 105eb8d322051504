// Tests of the bitmap font text: loading the font, placement and magnification of glyphs, opaque
// and transparent cells, numbers, the drawing colour left behind, and far or huge cells.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "fractal/fractal.h"
#include "raster/raster_internal.h"
#include "support/testutil.h"

namespace {

const Color canvasColour = 0x0000ff;
const Color ink = 0xff0000;
const Color paper = 0x00ff00;
const Color marker = 0x123456;

// A font file under construction: all glyphs blank until set.
struct FontBytes {
    std::string bytes = std::string(8192, '\0');
    // Rows of 8 characters: '#' byte 1, '.' byte 0, '2' byte 2, 'F' byte 255.
    void set(int code, const std::vector<std::string>& rows) {
        for (int row = 0; row < 8; ++row) {
            for (int column = 0; column < 8; ++column) {
                char c = rows[row][column];
                bytes[code * 64 + row * 8 + column] = c == '#'   ? '\1'
                                                      : c == '2' ? '\2'
                                                      : c == 'F' ? '\xff'
                                                                 : '\0';
            }
        }
    }
};

void loadFont(const std::string& bytes) {
    TempDir dir;
    writeFile(dir.file("font.fon"), bytes);
    ASSERT_EQ(vexText_LoadFont(dir.file("font.fon").c_str()), 1);
}

// Each glyph has a single ink pixel whose place tells the code: column code % 8, row code / 8
// % 8. Distinct for '-' and the ten digits.
std::string signatureFont() {
    std::string bytes(8192, '\0');
    for (int code = 0; code < 128; ++code) {
        bytes[code * 64 + (code / 8 % 8) * 8 + code % 8] = 1;
    }
    return bytes;
}

PixelSet signaturePixels(const std::string& text, int x, int y) {
    PixelSet pixels;
    for (size_t k = 0; k < text.size(); ++k) {
        int code = text[k];
        pixels.insert({x + 8 * static_cast<int>(k) + code % 8, y + code / 8 % 8});
    }
    return pixels;
}

PixelSet rectangle(int left, int top, int width, int height) {
    PixelSet pixels;
    for (int y = top; y < top + height; ++y) {
        for (int x = left; x < left + width; ++x) {
            pixels.insert({x, y});
        }
    }
    return pixels;
}

// The canvas's drawing colour, seen by plotting a pixel the text did not touch.
Color drawColourSeenAt(const TestCanvas& canvas, int x, int y) {
    vexRaster_Plot(x, y);
    return canvas.at(x, y);
}

// Glyph 'A': two ink pixels in the top row and one in the bottom-right corner.
const std::vector<std::string> cornerGlyph = {".##.....", "........", "........", "........",
                                              "........", "........", "........", ".......#"};

class Text : public ::testing::Test {
  protected:
    void SetUp() override {
        vexText_SetScale(1);
        vexText_SetOpaque(0);
        vexText_SetForeground(ink);
        vexText_SetBackground(paper);
        FontBytes font;
        font.set('A', cornerGlyph);
        loadFont(font.bytes);
    }
};

}  // namespace

TEST_F(Text, PlacesEachFontPixelAsAScaleByScaleBlock) {
    TestCanvas canvas(81, 60, canvasColour);
    vexText_DrawChar(10, 20, 'A');
    EXPECT_EQ(canvas.pixelsNot(canvasColour), (PixelSet{{11, 20}, {12, 20}, {17, 27}}));
    EXPECT_EQ(canvas.pixelsOf(ink).size(), 3u);

    TestCanvas big(81, 60, canvasColour);
    vexText_SetScale(4);
    vexText_DrawString(10, 20, "AA");
    PixelSet expected;
    for (int cell = 0; cell < 2; ++cell) {
        // The second character starts 8 x 4 = 32 pixels to the right of the first.
        int left = 10 + 32 * cell;
        PixelSet top = rectangle(left + 4, 20, 8, 4);
        PixelSet corner = rectangle(left + 28, 48, 4, 4);
        expected.insert(top.begin(), top.end());
        expected.insert(corner.begin(), corner.end());
    }
    EXPECT_EQ(big.pixelsOf(ink), expected);
    EXPECT_EQ(big.pixelsNot(canvasColour), expected);
}

TEST_F(Text, OnlyFlagOneIsOpaqueAndOnlyByteOneIsInk) {
    FontBytes font;
    font.set('B', {"#2F.....", "........", "........", "........", "........", "........",
                   "........", "........"});
    loadFont(font.bytes);
    vexText_SetScale(2);

    TestCanvas opaque(40, 30, canvasColour);
    vexText_SetOpaque(1);
    vexText_DrawChar(3, 5, 'B');
    EXPECT_EQ(opaque.pixelsOf(ink), rectangle(3, 5, 2, 2));
    EXPECT_EQ(opaque.pixelsNot(canvasColour), rectangle(3, 5, 16, 16));
    EXPECT_EQ(opaque.pixelsOf(paper).size(), 16u * 16u - 4u);

    for (int flag : {0, 2, -1}) {
        SCOPED_TRACE(flag);
        TestCanvas transparent(40, 30, canvasColour);
        vexText_SetOpaque(flag);
        vexText_DrawChar(3, 5, 'B');
        EXPECT_EQ(transparent.pixelsNot(canvasColour), rectangle(3, 5, 2, 2));
    }
}

TEST_F(Text, TextGoesThroughThePlotRoutineWithItsClipAndPen) {
    TestCanvas canvas(30, 20, canvasColour);
    vexRaster_SetPenSize(1);
    vexText_DrawChar(4, 6, 'A');  // ink at (5, 6), (6, 6) and (11, 13), each with a 3 x 3 pen
    PixelSet expected = rectangle(4, 5, 4, 3);
    PixelSet corner = rectangle(10, 12, 3, 3);
    expected.insert(corner.begin(), corner.end());
    EXPECT_EQ(canvas.pixelsNot(canvasColour), expected);

    // Ink pixels just off the canvas are clipped before the pen is applied.
    TestCanvas clipped(30, 20, canvasColour);
    vexRaster_SetPenSize(1);
    vexText_DrawChar(-3, -1, 'A');
    EXPECT_EQ(clipped.pixelsNot(canvasColour), rectangle(3, 5, 3, 3));
}

TEST_F(Text, NumbersAreDrawnInDecimal) {
    loadFont(signatureFont());
    for (int value : {-45, 0, 7, 1234567890, INT_MAX, INT_MIN}) {
        std::string digits = std::to_string(value);
        SCOPED_TRACE(digits);
        TestCanvas canvas(100, 12, canvasColour);
        vexText_DrawNumber(2, 3, value);
        EXPECT_EQ(canvas.pixelsNot(canvasColour), signaturePixels(digits, 2, 3));
    }
    // -45 fills exactly three cells: the minus sign, 4 and 5.
    TestCanvas canvas(100, 12, canvasColour);
    vexText_SetOpaque(1);
    vexText_DrawNumber(2, 3, -45);
    EXPECT_EQ(canvas.pixelsNot(canvasColour), rectangle(2, 3, 24, 8));
    EXPECT_EQ(canvas.pixelsOf(ink), signaturePixels("-45", 2, 3));
}

TEST_F(Text, ScalesBelowOneDrawNothing) {
    vexText_SetOpaque(1);
    for (int scale : {0, -1, -4, INT_MIN}) {
        SCOPED_TRACE(scale);
        TestCanvas canvas(40, 30, canvasColour, marker);
        vexText_SetScale(scale);
        vexText_DrawChar(10, 10, 'A');
        vexText_DrawString(10, 10, "AAA");
        vexText_DrawNumber(10, 10, -45);
        EXPECT_EQ(canvas.pixelsNot(canvasColour), PixelSet());
        EXPECT_EQ(drawColourSeenAt(canvas, 0, 0), marker);
    }
}

TEST_F(Text, LeavesTheDrawingColourOfTheCellsLastPixel) {
    FontBytes font;
    font.set('A', cornerGlyph);
    font.set('B', {".##.....", "........", "........", "........", "........", "........",
                   "........", "........"});
    font.set('C', {"........", "........", "........", "........", "........", "........",
                   "........", "......#."});
    font.set('D', {"........", "........", "........", "........", "........", "........",
                   "........", ".......#"});
    loadFont(font.bytes);
    struct Case {
        int opaque;
        char character;
        int x;
        Color expected;
    };
    const Case cases[] = {
        {1, 'A', 2, ink},        // last pixel is ink
        {1, 'B', 2, paper},      // ink earlier, last pixel background
        {0, 'B', 2, ink},        // transparent: the last ink plotted
        {0, ' ', 2, marker},     // transparent blank glyph: nothing plotted, nothing set
        {1, 'C', 30, paper},     // the cell's last pixel is off the canvas, background
        {1, 'D', 30, ink},       // ... or ink, though no ink pixel lands on the canvas
        {0, 'C', 30, ink},       // transparent: nothing plotted, the ink lies off the canvas
        {1, 'B', -1000, paper},  // the whole cell is off the canvas
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(1, c.character) + " opaque " + std::to_string(c.opaque) +
                     " at x " + std::to_string(c.x));
        TestCanvas canvas(34, 12, canvasColour, marker);
        vexText_SetOpaque(c.opaque);
        vexText_DrawChar(c.x, 0, c.character);
        if (c.x == 30) {
            // Only the first four columns are on the canvas, and neither glyph has ink there.
            EXPECT_EQ(canvas.pixelsNot(canvasColour),
                      c.opaque == 1 ? rectangle(30, 0, 4, 8) : PixelSet());
            EXPECT_EQ(canvas.pixelsOf(ink), PixelSet());
        }
        EXPECT_EQ(drawColourSeenAt(canvas, 0, 11), c.expected);
    }
}

TEST_F(Text, CodesAbove127DrawABlankCell) {
    // A font that is ink everywhere: any glyph read for these codes would show.
    loadFont(std::string(8192, '\1'));
    for (int code = 128; code < 256; ++code) {
        SCOPED_TRACE(code);
        TestCanvas canvas(20, 12, canvasColour, marker);
        vexText_SetOpaque(0);
        vexText_DrawChar(2, 1, static_cast<char>(code));
        EXPECT_EQ(canvas.pixelsNot(canvasColour), PixelSet());
        EXPECT_EQ(drawColourSeenAt(canvas, 0, 11), marker);

        vexText_SetOpaque(1);
        vexText_DrawChar(2, 1, static_cast<char>(code));
        EXPECT_EQ(canvas.pixelsOf(paper), rectangle(2, 1, 8, 8));
    }
    // In a text, such a character takes its cell like any other.
    TestCanvas canvas(40, 12, canvasColour);
    vexText_SetOpaque(1);
    vexText_DrawString(0, 0, "A\xc3\xa9Z");
    PixelSet letters = rectangle(0, 0, 8, 8);
    PixelSet z = rectangle(24, 0, 8, 8);
    letters.insert(z.begin(), z.end());
    EXPECT_EQ(canvas.pixelsOf(ink), letters);
    EXPECT_EQ(canvas.pixelsOf(paper), rectangle(8, 0, 16, 8));
}

TEST_F(Text, LoadFontReadsAtMostOneFontAndKeepsGlyphsOnFailure) {
    TempDir dir;
    auto inkOf = [&](char character) {
        TestCanvas cell(8, 8, canvasColour);
        vexText_DrawChar(0, 0, character);
        return cell.ascii(canvasColour);
    };
    const std::string cornerPicture = inkOf('A');
    ASSERT_EQ(cornerPicture.substr(0, 9), ".##.....\n");

    EXPECT_EQ(vexText_LoadFont(dir.file("absent.fon").c_str()), 0);
    EXPECT_EQ(vexText_LoadFont(dir.path.c_str()), 0);  // a folder opens but cannot be read
    EXPECT_EQ(inkOf('A'), cornerPicture);

    // A short file replaces only its own bytes: here glyph 'A' up to its first row.
    std::string shortFont(65 * 64 + 8, '\0');
    shortFont.replace(65 * 64, 8, "\1\0\0\0\0\0\0\1", 8);
    writeFile(dir.file("short.fon"), shortFont);
    EXPECT_EQ(vexText_LoadFont(dir.file("short.fon").c_str()), 1);
    std::string mixed = cornerPicture;
    mixed.replace(0, 8, "#......#");
    EXPECT_EQ(inkOf('A'), mixed);

    // Of a longer file only the first 8192 bytes count; the rest cannot shift the glyphs.
    FontBytes font;
    font.set(127, {"#.......", "........", "........", "........", "........", "........",
                   "........", "........"});
    writeFile(dir.file("long.fon"), font.bytes + std::string(100, '\1'));
    EXPECT_EQ(vexText_LoadFont(dir.file("long.fon").c_str()), 1);
    EXPECT_EQ(inkOf(127).substr(0, 9), "#.......\n");
    std::string blank;
    for (int row = 0; row < 8; ++row) {
        blank += "........\n";
    }
    EXPECT_EQ(inkOf('A'), blank);
}

TEST_F(Text, HugeScalesAndFarPositionsDrawOnlyTheClippedPixels) {
    FontBytes font;
    font.set('A', {"#.#.....", "..#.....", "........", "........", "........", "........",
                   "........", "........"});
    font.set('B', {"#.......", "........", "........", "........", "........", "........",
                   "........", "........"});
    font.set('C', {"........", "........", "........", "........", "........", "........",
                   "........", "........"});
    loadFont(font.bytes);
    vexText_SetOpaque(1);
    const PixelSet whole = rectangle(0, 0, 20, 12);

    // Font pixel (0, 0) covers the whole canvas.
    TestCanvas first(20, 12, canvasColour);
    vexText_SetScale(INT_MAX);
    vexText_DrawChar(-5, -3, 'A');
    EXPECT_EQ(first.pixelsOf(ink), whole);

    // From INT_MIN, canvas pixel 0 is 2^31 pixels into the cell: font pixel (1, 1), background.
    TestCanvas second(20, 12, canvasColour);
    vexText_DrawChar(INT_MIN, INT_MIN, 'A');
    EXPECT_EQ(second.pixelsOf(paper), whole);

    // A cell of 2^31 pixels, itself beyond the int range: font columns 2 and 3 meet at x = 2.
    TestCanvas third(20, 12, canvasColour);
    vexText_SetScale(1 << 28);
    vexText_DrawChar(-3 * (1 << 28) + 2, 0, 'A');
    EXPECT_EQ(third.pixelsOf(ink), rectangle(0, 0, 2, 12));
    EXPECT_EQ(third.pixelsOf(paper), rectangle(2, 0, 18, 12));

    // Cells of 2^32 pixels: 'B' starts 2^32 to the right of 'A', far off the canvas, not on it.
    TestCanvas fourth(20, 12, canvasColour);
    vexText_SetScale(1 << 29);
    vexText_SetOpaque(0);
    vexText_DrawString(10, 0, "CB");
    EXPECT_EQ(fourth.pixelsNot(canvasColour), PixelSet());

    // With 2^31 pixels per cell from INT_MIN, the second character covers the canvas.
    TestCanvas fifth(20, 12, canvasColour);
    vexText_SetScale(1 << 28);
    vexText_DrawString(INT_MIN, 0, "CB");
    EXPECT_EQ(fifth.pixelsOf(ink), whole);

    // Far positions, long texts: nothing lands on the canvas.
    TestCanvas sixth(20, 12, canvasColour);
    vexText_SetOpaque(1);
    for (int scale : {1, 3, 1 << 20, INT_MAX}) {
        vexText_SetScale(scale);
        vexText_DrawChar(INT_MAX, INT_MAX, 'A');
        vexText_DrawChar(INT_MAX, -30, 'A');
        vexText_DrawString(INT_MAX - 20, 0, std::string(10000, 'A').c_str());
        vexText_DrawNumber(INT_MAX, 0, INT_MIN);
        if (scale < (1 << 28)) {
            // Cells that end before the canvas begins; larger ones would reach it.
            vexText_DrawChar(INT_MIN, 0, 'A');
            vexText_DrawChar(-30, INT_MIN, 'A');
            vexText_DrawNumber(0, INT_MIN, INT_MIN);
        }
    }
    EXPECT_EQ(sixth.pixelsNot(canvasColour), PixelSet());
}

TEST(TextWithTheBuiltFont, DrawsTheTitleAsFourByFourBlocks) {
    const std::string title = vexSceneTitle;
    const std::string font = readFile(VEX_FONT_PATH);
    ASSERT_EQ(vexText_LoadFont(VEX_FONT_PATH), 1);
    TestCanvas canvas(static_cast<int>(title.size()) * 32, 32, 0xffffff);
    vexText_SetOpaque(1);
    vexText_SetScale(4);
    vexText_SetForeground(0);
    vexText_SetBackground(0xffffff);
    vexText_DrawString(0, 0, title.c_str());

    size_t fontInk = 0;
    for (char c : title) {
        for (int i = 0; i < 64; ++i) {
            fontInk += font[c * 64 + i] == 1;
        }
    }
    EXPECT_EQ(canvas.pixelsOf(0).size(), 16 * fontInk);
    EXPECT_EQ(canvas.pixelsNot(0).size(), canvas.pixelsOf(0xffffff).size());
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x) {
            ASSERT_EQ(canvas.at(x, y), canvas.at(x & ~3, y & ~3)) << x << ", " << y;
        }
    }
    // Cells of letters have ink, the cells of spaces none.
    std::vector<size_t> cellInk(title.size(), 0);
    for (const auto& pixel : canvas.pixelsOf(0)) {
        ++cellInk[pixel.first / 32];
    }
    for (size_t k = 0; k < title.size(); ++k) {
        EXPECT_EQ(cellInk[k] == 0, title[k] == ' ') << "cell " << k;
    }
}
