// Private to the raster module, its kernel units and its tests: the band rasteriser's kernel
// table and the band-limited primitives that only the tests and fuzzers call.
#pragma once

#include "raster/raster.h"

// The band rasteriser of one lane width.
struct VexBandKernels {
    // vexRaster_DrawCells.
    void (*drawCells)(const VexCellGrid& grid, const VexCellRun* runs, int count,
                      const VexRowBand& band, void* scratch);
    // vex3D_FillTriangle from projected corners (outline, then fill) in one colour, on the band.
    void (*fillTriangle)(const VexRowBand& band, int x0, int y0, int x1, int y1, int x2, int y2,
                         Color colour);
    // vexRaster_DrawLine's pixels in one colour, on the band.
    void (*drawLine)(const VexRowBand& band, int x1, int y1, int x2, int y2, Color colour);
    // The sweep's cell from projected corners (see vexRaster_DrawCellRows), on the band.
    void (*drawCell)(const VexRowBand& band, const int* x, const int* y, Color colour1,
                     Color colour2, void* scratch);
    // The working memory drawCells and drawCell need.
    long long scratchBytes;
};

// The band rasteriser of the lane width in use (kernels/kernels.cpp chooses it).
const VexBandKernels& vexRaster_BandKernels();

// The pixels vexRaster_DrawLine and vex3D_FillTriangle (outline, then fill) give for projected
// corners, in `colour`, written only on canvas rows rowBegin <= y < rowEnd: the band-limited
// primitives the fast frame draws with.
void vexRaster_DrawLineRows(int x1, int y1, int x2, int y2, Color colour, int rowBegin, int rowEnd);
void vexRaster_FillTriangleRows(int x0, int y0, int x1, int y1, int x2, int y2, Color colour,
                                int rowBegin, int rowEnd);
// One cell as the fast frame draws it from projected corners P0..P3: triangle (P0, P1, P2) with
// its line P0 -> P1 in colour1, then triangle (P2, P3, P0) with its lines P3 -> P0 and P0 -> P2
// in colour2; the cell's other edges are left to the cells drawn after it. Rows as above.
void vexRaster_DrawCellRows(const int x[4], const int y[4], Color colour1, Color colour2,
                            int rowBegin, int rowEnd);
