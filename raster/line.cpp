// Line drawing: 16.16 fixed-point lines, dispatched between a per-pixel clipped walk and four
// unclipped runs that step byte offsets in the frame buffer; both give the same pixels.
#include <utility>

#include "raster/fixed_point.h"
#include "raster/raster.h"
#include "raster/raster_internal.h"

// The stepping rule, shared by every path and relied on bit for bit by the picture:
// - The major axis is x only when |dx| > |dy|; ties (exact diagonals) are y-major.
// - The walk starts at the endpoint with the smaller major coordinate and places one pixel at
//   every major coordinate up to the other endpoint inclusive: |d major| + 1 pixels.
// - step = (d minor * 65536) / d major, truncated toward zero; acc starts at minor * 65536 and
//   gains step per pixel; the minor coordinate is floor(acc / 65536). No half is ever added, so
//   when the minor coordinate grows and 65536 * d minor is not a multiple of d major, acc stays
//   just below the end value and the line ends one pixel short of its far endpoint in the minor
//   axis. When the minor coordinate falls, floor reaches the end value exactly.
// Fixed-point values are held in 64 bits: within the 16-bit coordinate range this is exactly the
// 32-bit arithmetic (nothing overflows there), and beyond it nothing is undefined.
namespace {

// floor(acc / 65536), written with division so that it is defined for negative values too.
inline long long fixedFloor(long long acc) {
    return acc >= 0 ? acc / 65536 : -((65535 - acc) / 65536);
}

inline long long absolute(long long v) {
    return v < 0 ? -v : v;
}

// Lines longer than the fixed-point rule serves place the pixel at floor of the true minor
// coordinate: start + floor(k * d minor / d major).
inline long long exactMinor(long long minorStart, long long k, long long dMinor, long long dMajor) {
    return minorStart + floorMulDiv(k, dMinor, dMajor);
}

// Walks one line along its major axis, plotting the pixels that land on the canvas. The
// off-canvas stretches are skipped arithmetically: within the fixed-point rule acc after k steps
// is exactly start + k * step, so jumping straight to the first visible major coordinate gives
// the pixels a pixel-by-pixel walk would, and the work is bounded by the canvas, not the line.
void walkLine(long long majorA, long long minorA, long long majorB, long long minorB,
              int majorExtent, int minorExtent, bool xMajor) {
    if (majorA > majorB) {
        std::swap(majorA, majorB);
        std::swap(minorA, minorB);
    }
    long long dMajor = majorB - majorA;
    long long dMinor = minorB - minorA;
    long long first = majorA > 0 ? majorA : 0;
    long long last = majorB < majorExtent - 1 ? majorB : majorExtent - 1;
    bool fixedPoint = dMajor <= longestFixedPointLine;
    // A zero-length walk (the two endpoints equal) is the single start pixel.
    long long step = dMajor == 0 ? 0 : dMinor * 65536 / dMajor;
    long long start = minorA * 65536;
    for (long long major = first; major <= last; ++major) {
        long long k = major - majorA;
        long long minor =
            fixedPoint ? fixedFloor(start + k * step) : exactMinor(minorA, k, dMinor, dMajor);
        if (minor < 0 || minor >= minorExtent) {
            continue;
        }
        if (xMajor) {
            vexRaster_Plot(static_cast<int>(major), static_cast<int>(minor));
        } else {
            vexRaster_Plot(static_cast<int>(minor), static_cast<int>(major));
        }
    }
}

inline bool onCanvas(int x, int y) {
    return x >= 0 && x < canvasWidth && y >= 0 && y < canvasHeight;
}

}  // namespace

void vexRaster_DrawLine(int x1, int y1, int x2, int y2) {
    if (x1 == x2 && y1 == y2) {
        vexRaster_Plot(x1, y1);
        return;
    }
    if (!onCanvas(x1, y1) || !onCanvas(x2, y2)) {
        // Both endpoints beyond the same edge: no pixel of the line can be on the canvas.
        if ((y1 < 0 && y2 < 0) || (y1 >= canvasHeight && y2 >= canvasHeight) ||
            (x1 < 0 && x2 < 0) || (x1 >= canvasWidth && x2 >= canvasWidth)) {
            return;
        }
        // The runs write byte offsets unchecked, so a line leaving the canvas is walked with
        // clipping even when clipEnabled is 0; for such a line the runs would wrap into other
        // rows or write past the buffer.
        vexRaster_DrawClippedLine(x1, y1, x2, y2);
        return;
    }
    int dx = x2 - x1;
    int dy = y2 - y1;
    int adx = dx < 0 ? -dx : dx;
    int ady = dy < 0 ? -dy : dy;
    // Only a canvas wider or taller than 32768 pixels holds longer lines; they follow the exact
    // slope, which the walk implements and the runs do not.
    if (adx > longestFixedPointLine || ady > longestFixedPointLine) {
        vexRaster_DrawClippedLine(x1, y1, x2, y2);
        return;
    }
    // Each run starts at the endpoint with the smaller major coordinate, as the walk does, and
    // its step (dminor * 65536) / dmajor equals the walk's, since (-a) / (-b) truncates as a / b.
    if (adx > ady) {
        int x = dx >= 0 ? x1 : x2;
        int y = dx >= 0 ? y1 : y2;
        if (dy == 0) {
            vexRaster_DrawHorizontalRun(x, y, adx);
        } else {
            vexRaster_DrawShallowRun(x, y, adx, dx, dy);
        }
    } else {
        int x = dy >= 0 ? x1 : x2;
        int y = dy >= 0 ? y1 : y2;
        if (dx == 0) {
            vexRaster_DrawVerticalRun(x, y, ady);
        } else {
            vexRaster_DrawSteepRun(x, y, ady, dx, dy);
        }
    }
}

void vexRaster_DrawClippedLine(int x1, int y1, int x2, int y2) {
    long long dx = static_cast<long long>(x2) - x1;
    long long dy = static_cast<long long>(y2) - y1;
    if (absolute(dx) > absolute(dy)) {
        walkLine(x1, y1, x2, y2, canvasWidth, canvasHeight, true);
    } else {
        walkLine(y1, x1, y2, x2, canvasHeight, canvasWidth, false);
    }
}

// The runs serve lines with both endpoints on the canvas and count <= 32767 only; they do no
// clipping. Their offsets, (height - 1 - y) * width + x scaled by the bytes per pixel, are the
// row table's mapping written out.

void vexRaster_DrawHorizontalRun(int x, int y, int count) {
    int offset = vexRaster_PixelOffset(x, y);
    vexRaster_PutPixel(offset);
    for (int i = 0; i < count; ++i) {
        offset += canvasBytesPerPixel;
        vexRaster_PutPixel(offset);
    }
}

void vexRaster_DrawVerticalRun(int x, int y, int count) {
    // Memory rows run bottom-up, so going down the picture is going back in memory.
    int rowBytes = canvasBytesPerPixel * canvasWidth;
    int offset = vexRaster_PixelOffset(x, y);
    vexRaster_PutPixel(offset);
    for (int i = 0; i < count; ++i) {
        offset -= rowBytes;
        vexRaster_PutPixel(offset);
    }
}

void vexRaster_DrawShallowRun(int x, int y, int count, int dx, int dy) {
    int b = canvasBytesPerPixel;
    long long step = static_cast<long long>(dy) * 65536 / dx;
    long long acc = static_cast<long long>(y) * 65536;
    int column = x * b;
    vexRaster_PutPixel((canvasHeight - y - 1) * canvasWidth * b + column);
    for (int i = 0; i < count; ++i) {
        acc += step;
        column += b;
        int row = canvasHeight - static_cast<int>(fixedFloor(acc)) - 1;
        vexRaster_PutPixel(row * canvasWidth * b + column);
    }
}

void vexRaster_DrawSteepRun(int x, int y, int count, int dx, int dy) {
    int b = canvasBytesPerPixel;
    long long step = static_cast<long long>(dx) * 65536 / dy;
    long long acc = static_cast<long long>(x) * 65536;
    int rowBytes = b * canvasWidth;
    int row = (canvasHeight - y - 1) * rowBytes;
    vexRaster_PutPixel(row + x * b);
    for (int i = 0; i < count; ++i) {
        row -= rowBytes;
        acc += step;
        vexRaster_PutPixel(row + static_cast<int>(fixedFloor(acc)) * b);
    }
}
