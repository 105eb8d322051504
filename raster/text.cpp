// Bitmap font text: an 8 x 8 font of one byte per pixel, read from a file, drawn magnified pixel
// by pixel through the canvas's plot routine, so clipping and the pen apply to it.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "raster/raster.h"
#include "raster/raster_internal.h"

int textScale = 1;

namespace {

const int glyphCount = 128;
const int glyphBytes = 64;
const int fontByteSize = glyphCount * glyphBytes;

unsigned char fontGlyphs[fontByteSize] = {};  // all blank until a font is loaded
unsigned char fontReadBlock[fontByteSize];    // a load's bytes, kept only if the read succeeds
const int glyphWidth = 8;
const int glyphHeight = 8;
int textOpaque = 1;
Color textForeground = 0;
Color textBackground = 0;

const unsigned char blankGlyph[glyphBytes] = {};

// Only the byte value 1 is ink; 0, 2, 255 and every other value are background.
bool isInk(unsigned char fontByte) {
    return fontByte == 1;
}

// Codes 128 to 255 are negative as signed chars and the font has no glyphs for them: they are
// drawn as a blank cell instead of reading before the glyph table.
const unsigned char* glyphOf(char character) {
    int code = static_cast<signed char>(character);
    return code < 0 ? blankGlyph : fontGlyphs + code * glyphBytes;
}

// Draws one cell with its top-left corner at (cellX, cellY). Positions and cell sizes are 64-bit
// so that huge scales and far positions cannot overflow, and only the part of the cell that lies
// on the canvas is visited: the clip test would drop the rest anyway (and with clipping off the
// plot routine must not be given it), and a cell can be billions of pixels wide. The pixels visited
// are visited in the order of the whole cell, top to bottom and left to right, each with its colour
// set just before it is plotted.
void drawCell(long long cellX, long long cellY, const unsigned char* glyph) {
    const long long scale = textScale;
    const long long cellWidth = scale * glyphWidth;
    const long long cellHeight = scale * glyphHeight;
    if (cellWidth <= 0 || cellHeight <= 0) {
        return;
    }
    const bool opaque = textOpaque == 1;
    const long long firstRow = std::max(0LL, -cellY);
    const long long lastRow = std::min(cellHeight, canvasHeight - cellY) - 1;
    const long long firstColumn = std::max(0LL, -cellX);
    const long long lastColumn = std::min(cellWidth, canvasWidth - cellX) - 1;
    for (long long i = firstRow; i <= lastRow; ++i) {
        const unsigned char* fontRow = glyph + (i / scale) * glyphWidth;
        const int y = static_cast<int>(cellY + i);
        for (long long j = firstColumn; j <= lastColumn; ++j) {
            if (isInk(fontRow[j / scale])) {
                vexRaster_SetColor(textForeground);
            } else if (opaque) {
                vexRaster_SetColor(textBackground);
            } else {
                continue;
            }
            vexRaster_Plot(static_cast<int>(cellX + j), y);
        }
    }

    // Leave the drawing colour as plotting the whole cell would have: when opaque, the colour of
    // its bottom-right pixel; when not, the ink colour if the glyph has any ink at all.
    if (opaque) {
        vexRaster_SetColor(isInk(glyph[glyphBytes - 1]) ? textForeground : textBackground);
    } else if (std::any_of(glyph, glyph + glyphBytes, isInk)) {
        vexRaster_SetColor(textForeground);
    }
}

}  // namespace

int vexText_LoadFont(const char* fileName) {
    if (fileName == nullptr) {
        return 0;
    }
    // A short file replaces only the bytes it has. A file that cannot be read (a folder of that
    // name, a pipe, a failing disk) is not a short file: the font is kept as it was and the load
    // fails. The platform layer opens it without blocking, so a pipe cannot hold the run.
    long long count = vexPlatform_ReadFileStart(fileName, fontReadBlock, fontByteSize);
    if (count < 0) {
        return 0;
    }
    std::memcpy(fontGlyphs, fontReadBlock, static_cast<size_t>(count));
    return 1;
}

void vexText_SetForeground(Color colour) {
    textForeground = colour;
}

void vexText_SetBackground(Color colour) {
    textBackground = colour;
}

void vexText_SetScale(int scale) {
    textScale = scale;
}

void vexText_SetOpaque(int flag) {
    textOpaque = flag;
}

void vexText_DrawChar(int x, int y, char character) {
    drawCell(x, y, glyphOf(character));
}

void vexText_DrawString(int x, int y, const char* text) {
    if (text == nullptr) {
        return;
    }
    // Testing each character for the terminator measures the text again on every pass; the
    // text never lies in the frame buffer, so drawing cannot change it. The cell position is
    // 64-bit: with a large scale the later cells lie far beyond the int range. It stops moving
    // once past the right edge of the canvas (the cells beyond are off the canvas wherever they
    // are), and a scale below 1 draws nothing, so even an endless text cannot overflow it.
    long long cellX = x;
    for (size_t k = 0; text[k] != '\0'; ++k) {
        drawCell(cellX, y, glyphOf(text[k]));
        if (textScale > 0 && cellX <= canvasWidth) {
            cellX += static_cast<long long>(textScale) * glyphWidth;
        }
    }
}

void vexText_DrawNumber(int x, int y, int value) {
    char digits[256];
    std::snprintf(digits, sizeof digits, "%d", value);
    vexText_DrawString(x, y, digits);
}

void vexText_Flush() {}
