// Front to back: a band's map of the bytes that cells later in the sweep paint, so that each
// pixel is written once, by its last cell, and cells wholly behind others are never formed; and
// the cells that are drawn triangle by triangle, painted only where no later cell paints. A
// kernel body, included by the kernel units after raster/cell_rows.h (see lanes/lanes_scalar.h).
#pragma once

namespace {

// One bit a frame-buffer byte of the band's rows, set where a cell already drawn (one later in
// the sweep) paints; a pixel's three bits are set together. Each row has a spare word at its
// end, so that 64 bits from any pixel of the row can be read as two words.
struct Coverage {
    unsigned long long* words;
    long long stride;  // words a row
    long long rowBegin;
};

inline long long coverageStride(long long width) {
    return (3 * width + 63) / 64 + 1;
}

inline unsigned long long* coverageAt(const Coverage& c, long long x, long long y) {
    return c.words + (y - c.rowBegin) * c.stride + (3 * x >> 6);
}

// The bits of the 63 bytes from pixel x of canvas row y on (a cell's window).
inline unsigned long long coveredFrom(const Coverage& c, long long x, long long y) {
    const unsigned long long* w = coverageAt(c, x, y);
    const unsigned shift = static_cast<unsigned>(3 * x & 63);
    return (w[0] >> shift) | ((w[1] << 1) << (63 - shift));
}

// Sets the bits of `bytes` (bit 63 clear) counted from pixel x of row y.
inline void coverFrom(const Coverage& c, long long x, long long y, unsigned long long bytes) {
    unsigned long long* w = coverageAt(c, x, y);
    const unsigned shift = static_cast<unsigned>(3 * x & 63);
    w[0] |= bytes << shift;
    w[1] |= (bytes >> 1) >> (63 - shift);
}

// Whether every pixel of columns left..right (at most 21) is covered on rows first..last. The
// rows are read four at a time, without a branch between them.
inline bool coveredBox(const Coverage& c, long long left, long long right, long long first,
                       long long last) {
    const unsigned long long box = ~0ULL >> (64 - 3 * (right - left + 1));
    const unsigned shift = static_cast<unsigned>(3 * left & 63);
    const unsigned long long* w = coverageAt(c, left, first);
    const long long stride = c.stride;
    long long rows = last - first + 1;
    for (; rows >= 4; rows -= 4, w += 4 * stride) {
        unsigned long long missing = 0;
        for (int k = 0; k < 4; ++k) {
            const unsigned long long* row = w + k * stride;
            missing |= ~((row[0] >> shift) | ((row[1] << 1) << (63 - shift)));
        }
        if ((missing & box) != 0) {
            return false;
        }
    }
    unsigned long long missing = 0;
    for (; rows > 0; --rows, w += stride) {
        missing |= ~((w[0] >> shift) | ((w[1] << 1) << (63 - shift)));
    }
    return (missing & box) == 0;
}

// The coverage map and two copies of the pixels a cell drawn triangle by triangle may paint,
// of copyBytes each (at least one canvas row).
struct Behind {
    Coverage coverage;
    unsigned char* before;  // the pixels as they were
    unsigned char* drawn;   // the cell drawn over zeros
    long long copyBytes;
};

// Column ranges [first, last] of one row, at most three, in order and apart.
struct ColumnRanges {
    long long first[3], last[3];
    int count;
    long long pixels;
};

// The pixels a cell drawn triangle by triangle may paint, row by row: its corners' columns,
// clamped to the canvas, and the canvas's first and last columns, which a triangle whose
// crossings all lie off one side, or whose corners all lie on one row, may paint.
inline ColumnRanges columnsOfCell(long long xLow, long long xHigh, long long width) {
    const long long lastColumn = width - 1;
    const long long first[3] = {0, least(most(xLow, 0), lastColumn), lastColumn};
    const long long last[3] = {0, least(most(xHigh, 0), lastColumn), lastColumn};
    ColumnRanges r;
    r.count = 0;
    r.pixels = 0;
    for (int k = 0; k < 3; ++k) {
        if (r.count > 0 && first[k] <= r.last[r.count - 1] + 1) {
            r.last[r.count - 1] = most(r.last[r.count - 1], last[k]);
        } else {
            r.first[r.count] = first[k];
            r.last[r.count++] = last[k];
        }
    }
    for (int k = 0; k < r.count; ++k) {
        r.pixels += r.last[k] - r.first[k] + 1;
    }
    return r;
}

// Copies the ranges' pixels of rows first..last into `to`, and writes `fill` over them.
inline void saveAndFill(const VexRowBand& band, const ColumnRanges& r, long long first,
                        long long last, unsigned char* to, int fill) {
    for (long long y = first; y <= last; ++y) {
        for (int k = 0; k < r.count; ++k) {
            unsigned char* pixel = pixelAt(band, r.first[k], y);
            const long long bytes = 3 * (r.last[k] - r.first[k] + 1);
            __builtin_memcpy(to, pixel, static_cast<std::size_t>(bytes));
            __builtin_memset(pixel, fill, static_cast<std::size_t>(bytes));
            to += bytes;
        }
    }
}

// A cell drawn triangle by triangle (`draw`, on a band of the rows given), front to back. It
// is drawn twice, over pixels all 0 and then all 255: a pixel it paints holds the same colour
// both times, which cannot be both, and one it leaves keeps 0 and 255. Where it paints and no
// later cell does, its pixel stays and is covered; everywhere else the pixel as it was is put
// back. Rows are taken as many at a time as the copies hold.
template <class Draw>
void drawCellBehind(const VexRowBand& band, const Behind& s, long long xLow, long long xHigh,
                    long long firstRow, long long lastRow, Draw draw) {
    const ColumnRanges r = columnsOfCell(xLow, xHigh, band.width);
    const long long perChunk = most(s.copyBytes / (3 * r.pixels), 1);
    for (long long first = firstRow; first <= lastRow; first += perChunk) {
        const long long last = least(first + perChunk - 1, lastRow);
        VexRowBand rows = band;
        rows.rowBegin = static_cast<int>(first);
        rows.rowEnd = static_cast<int>(last + 1);
        saveAndFill(band, r, first, last, s.before, 0);
        draw(rows);
        saveAndFill(band, r, first, last, s.drawn, 255);
        draw(rows);
        const unsigned char* before = s.before;
        const unsigned char* drawn = s.drawn;
        for (long long y = first; y <= last; ++y) {
            for (int k = 0; k < r.count; ++k) {
                unsigned char* pixel = pixelAt(band, r.first[k], y);
                for (long long x = r.first[k]; x <= r.last[k]; ++x) {
                    const bool painted = (drawn[0] | drawn[1] | drawn[2]) != 0 ||
                                         (pixel[0] & pixel[1] & pixel[2]) != 255;
                    if (!painted || (coveredFrom(s.coverage, x, y) & 1) != 0) {
                        __builtin_memcpy(pixel, before, 3);
                    } else {
                        coverFrom(s.coverage, x, y, 7);
                    }
                    pixel += 3;
                    before += 3;
                    drawn += 3;
                }
            }
        }
    }
}

}  // namespace
