// The band rasteriser's line walk: vexRaster_DrawLine's pixels, written straight into the frame
// buffer and limited to a band of rows. A kernel body, included by the kernel units after the
// lanes and raster/fixed_point.h (see lanes/lanes_scalar.h).
#pragma once

namespace {

// Canvas row y is memory row height - 1 - y: rows are stored bottom-up, as the bitmap wants.
inline unsigned char* pixelAt(const VexRowBand& band, long long x, long long y) {
    return band.buffer + ((band.height - 1 - y) * band.width + x) * 3;
}

// One line walked along its major axis from the endpoint with the smaller major coordinate.
// Only the major coordinates that can land in the band are visited: the canvas columns of an
// x-major line, the band's rows of a y-major one. Within the fixed-point rule the accumulator
// after k steps is exactly start + k * step, so starting at the first visible major coordinate
// gives the pixels a walk from the endpoint would.
template <bool xMajor>
void walkLine(const VexRowBand& band, long long majorA, long long minorA, long long majorB,
              long long minorB, const Ink& ink) {
    if (majorA > majorB) {
        long long t = majorA;
        majorA = majorB;
        majorB = t;
        t = minorA;
        minorA = minorB;
        minorB = t;
    }
    const long long lowMajor = xMajor ? 0 : band.rowBegin;
    const long long highMajor = xMajor ? band.width - 1 : band.rowEnd - 1;
    const long long lowMinor = xMajor ? band.rowBegin : 0;
    const long long highMinor = xMajor ? band.rowEnd - 1 : band.width - 1;
    // Every pixel's minor coordinate lies between the endpoints' (the truncated step never
    // overshoots), so a line wholly beyond the band or the canvas has nothing to draw.
    if (most(minorA, minorB) < lowMinor || least(minorA, minorB) > highMinor) {
        return;
    }
    long long first = most(majorA, lowMajor);
    long long last = least(majorB, highMajor);
    long long dMajor = majorB - majorA;
    long long dMinor = minorB - minorA;
    if (dMajor > longestFixedPointLine) {
        for (long long major = first; major <= last; ++major) {
            long long minor = minorA + floorMulDiv(major - majorA, dMinor, dMajor);
            if (minor >= lowMinor && minor <= highMinor) {
                paintPixel(xMajor ? pixelAt(band, major, minor) : pixelAt(band, minor, major), ink);
            }
        }
        return;
    }
    long long step = dMajor == 0 ? 0 : dMinor * 65536 / dMajor;
    long long acc = minorA * 65536 + (first - majorA) * step;
    const long long rowBytes = band.width * 3;
    if (least(minorA, minorB) >= lowMinor && most(minorA, minorB) <= highMinor) {
        // The usual case: every pixel's minor coordinate is on the band, nothing to test.
        if (xMajor) {
            unsigned char* column = pixelAt(band, first, 0);
            for (long long major = first; major <= last; ++major) {
                paintPixel(column - (acc >> 16) * rowBytes, ink);
                column += 3;
                acc += step;
            }
        } else {
            unsigned char* row = pixelAt(band, 0, first);
            for (long long major = first; major <= last; ++major) {
                paintPixel(row + 3 * (acc >> 16), ink);
                row -= rowBytes;
                acc += step;
            }
        }
        return;
    }
    for (long long major = first; major <= last; ++major) {
        // The arithmetic shift is the floor, also for negative accumulators.
        long long minor = acc >> 16;
        acc += step;
        if (minor >= lowMinor && minor <= highMinor) {
            paintPixel(xMajor ? pixelAt(band, major, minor) : pixelAt(band, minor, major), ink);
        }
    }
}

// vexRaster_DrawLine's pixels. Its dispatch (a point, a rejected line, the clipped walk, the
// unclipped runs) always yields the pixels of the walk that are on the canvas, and the walk
// is the same from either end.
inline void walkAnyLine(const VexRowBand& band, int x1, int y1, int x2, int y2, const Ink& ink) {
    long long dx = static_cast<long long>(x2) - x1;
    long long dy = static_cast<long long>(y2) - y1;
    if ((dx < 0 ? -dx : dx) > (dy < 0 ? -dy : dy)) {
        walkLine<true>(band, x1, y1, x2, y2, ink);
    } else {
        walkLine<false>(band, y1, x1, y2, x2, ink);
    }
}

inline void drawLine(const VexRowBand& band, int x1, int y1, int x2, int y2, int colour) {
    walkAnyLine(band, x1, y1, x2, y2, vexRaster_InkOf(colour));
}

}  // namespace
