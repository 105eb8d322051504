// The band rasteriser's entry points: bands of canvas rows and their colour patterns, the
// band's warm-up, and the cells, lines and triangles handed to the kernels of the lane width in
// use, which draw the literal pixels, each thread on its own rows.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>

#include "raster/raster.h"
#include "raster/raster_kernels.h"

namespace {

// Where the band warm-up's reads go, so that they are not optimised away.
std::atomic<unsigned> warmSink{0};

// Working memory for the primitives the tests call one at a time, aligned for any lane width.
struct Scratch {
    explicit Scratch(long long bytes)
        : memory(new double[static_cast<std::size_t>((bytes + 7) / 8)]) {}
    std::unique_ptr<double[]> memory;
};

}  // namespace

VexRowBand vexRaster_Band(int rowBegin, int rowEnd) {
    VexRowBand band = {canvasBuffer, canvasWidth, canvasHeight, std::max(rowBegin, 0),
                       std::min(rowEnd, canvasHeight)};
    if (canvasBuffer == nullptr || canvasWidth <= 0) {
        band.rowEnd = band.rowBegin;
    }
    return band;
}

VexInk vexRaster_InkOf(Color colour) {
    unsigned long long rgb = static_cast<unsigned long long>((colour >> 16) & 0xff) |
                             static_cast<unsigned long long>(colour & 0xff00) |
                             (static_cast<unsigned long long>(colour & 0xff) << 16);
    // Three 8-byte words make one 24-byte period: r g b r g b r g | b r g ... | g b r ...
    unsigned long long words[3];
    words[0] = rgb | (rgb << 24) | (rgb << 48);
    words[1] = (rgb >> 16) | (rgb << 8) | (rgb << 32) | (rgb << 56);
    words[2] = (rgb >> 8) | (rgb << 16) | (rgb << 40);
    VexInk ink;
    for (int k = 0; k < 8; ++k) {
        std::memcpy(ink.pattern + 8 * k, &words[k % 3], 8);
    }
    return ink;
}

long long vexRaster_CellScratchBytes() {
    return vexRaster_BandKernels().scratchBytes;
}

// A band's runs jump from column to column, each column's corners and shades in their own part
// of the grid, where the hardware cannot guess them; reading the ends of each run, and asking
// for its rows and shades, brings them into the cache before the run is drawn.
void vexRaster_ColumnsOfRuns(const VexCellGrid& grid, const VexCellRun* runs, int count, int* left,
                             int* right) {
    for (const VexCellRun* run = runs; run != runs + count; ++run) {
        const int* leftX = grid.columns[run->column];
        const int* rightX = grid.columns[run->column + 1];
        const int ends[4] = {leftX[run->first], rightX[run->first], leftX[run->last + 1],
                             rightX[run->last + 1]};
        for (int x : ends) {
            *left = std::min(*left, x);
            *right = std::max(*right, x);
        }
        const unsigned char* shades = grid.shades + 2LL * run->column * (grid.ny - 1);
        __builtin_prefetch(grid.rows[run->column] + run->first);
        __builtin_prefetch(grid.rows[run->column + 1] + run->first);
        __builtin_prefetch(grid.rows[run->column] + run->last + 1);
        __builtin_prefetch(grid.rows[run->column + 1] + run->last + 1);
        __builtin_prefetch(shades + 2 * run->first);
        __builtin_prefetch(shades + 2 * run->last);
    }
}

// The cells visit the band column strip by column strip, each row a line apart, which the
// processor cannot foresee: drawing missed the cache on about 770 thousand lines of the frame
// buffer, one at a time. Read in address order, the memory streams them ahead instead.
void vexRaster_WarmBand(const VexRowBand& band, int left, int right) {
    left = std::max(left, 0);
    right = std::min<long long>(right, band.width - 1);
    if (left > right) {
        return;
    }
    const long long lastByte = (static_cast<long long>(right) - left) * 3 + 2;
    unsigned sum = 0;
    for (int y = band.rowEnd - 1; y >= band.rowBegin; --y) {
        const volatile unsigned char* first =
            band.buffer + ((band.height - 1LL - y) * band.width + left) * 3;
        const long long lineOffset =
            static_cast<long long>(reinterpret_cast<std::uintptr_t>(first) % vexCacheLineBytes);
        for (long long k = 0; k <= lastByte; k += vexCacheLineBytes - (k == 0 ? lineOffset : 0)) {
            sum += first[k];
        }
    }
    warmSink.fetch_add(sum, std::memory_order_relaxed);
}

void vexRaster_DrawCells(const VexCellGrid& grid, const VexCellRun* runs, int count,
                         const VexRowBand& band, void* scratch) {
    vexRaster_BandKernels().drawCells(grid, runs, count, band, scratch);
}

void vexRaster_DrawLineRows(int x1, int y1, int x2, int y2, Color colour, int rowBegin,
                            int rowEnd) {
    const VexRowBand band = vexRaster_Band(rowBegin, rowEnd);
    if (band.rowBegin < band.rowEnd) {
        vexRaster_BandKernels().drawLine(band, x1, y1, x2, y2, colour);
    }
}

void vexRaster_FillTriangleRows(int x0, int y0, int x1, int y1, int x2, int y2, Color colour,
                                int rowBegin, int rowEnd) {
    const VexRowBand band = vexRaster_Band(rowBegin, rowEnd);
    if (band.rowBegin < band.rowEnd) {
        vexRaster_BandKernels().fillTriangle(band, x0, y0, x1, y1, x2, y2, colour);
    }
}

void vexRaster_DrawCellRows(const int x[4], const int y[4], Color colour1, Color colour2,
                            int rowBegin, int rowEnd) {
    const VexRowBand band = vexRaster_Band(rowBegin, rowEnd);
    if (band.rowBegin < band.rowEnd) {
        const VexBandKernels& kernels = vexRaster_BandKernels();
        Scratch scratch(kernels.scratchBytes);
        kernels.drawCell(band, x, y, colour1, colour2, scratch.memory.get());
    }
}
