// Private to the fast frame: the vector kernels (one set per instruction set, chosen at run
// time), the height worker and the band rasteriser that the frame's threads share.
#pragma once

#include <atomic>

// Orbits in flight, one per slot, structure of arrays. A stage starts every orbit at the same
// iteration count, so the count is not stored per slot.
struct VexOrbitSlots {
    double* cr;  // c, real part
    double* ci;  // c, imaginary part
    double* zx;  // z at the stage's first iteration
    double* zy;
    int* index;  // where the orbit's height goes in the height grid
    // The orbits that escaped in a stage, gathered for their heights: |z|^2 and the iteration
    // at the escape, and where the height goes.
    double* escapedSum;
    double* escapedAt;
    int* escapedIndex;
};

// The camera reduced to what one corner's projection needs beyond its height.
struct VexProjectionConstants {
    double centerZ, scaleZ;
    double cosElevation, sinElevation;
    double sinElevCosAzim, sinElevSinAzim, cosElevCosAzim, cosElevSinAzim;
    double cosAzimuth, sinAzimuth;
    double eyeDepth, screenDistance;
    int centerX, centerY;
};

// One cell column's shading input: raw heights of its two corner columns and the grid steps,
// each written as the facet renderer forms the edge vectors (P1 - P0 and so on).
struct VexShadeColumn {
    const double* left;      // heights of corners (x, y_j)
    const double* right;     // heights of corners (xn, y_j)
    const double* stepUp;    // y_{j+1} - y_j
    const double* stepDown;  // y_j - y_{j+1}
    double stepRight;        // xn - x
    double stepLeft;         // x - xn
    double lightX, lightY, lightZ;
};

// A band of canvas rows, rowBegin <= y < rowEnd, all on the canvas, and the frame buffer the
// rows lie in (bottom-up, three bytes per pixel).
struct VexRowBand {
    unsigned char* buffer;
    long long width;
    int height;
    int rowBegin;
    int rowEnd;
};

// A colour repeated over 64 bytes from its red byte on, so that a run of pixels is copied from
// it with a few wide stores: the 3-byte period restarts at every multiple of 3.
struct VexInk {
    unsigned char pattern[64];
};

VexInk vexFractal_InkOf(int colour);

// The projected grid and the triangle shades, as the rasteriser reads them.
struct VexCellGrid {
    const int* const* columns;    // columns[i][j]: pixel column of corner (i, j)
    const int* const* rows;       // rows[i][j]: pixel row of corner (i, j)
    const unsigned char* shades;  // 2 per cell, cell (i, j) at 2 * (i * (ny - 1) + j)
    const VexInk* inks;           // inks[shade]: vexRaster_MakeColor(0xff0000, shade)
    int nx;
    int ny;
};

// Cells first..last of cell column `column`, consecutive in sweep order.
struct VexCellRun {
    int column;
    int first;
    int last;
};

struct VexFastKernels {
    int lanes;
    // Advances `count` orbits (slots padded to a whole number of vector pairs) from iteration
    // `from` to `to` (at most the iteration from which every height is 1). Finished orbits store
    // their height; the others are packed to the front of the slots with z at `to`. Returns how
    // many remain.
    int (*advanceOrbits)(const VexOrbitSlots& slots, int count, int from, int to, double* heights);
    // Red intensities of both triangles of cells 0..count-1 of a column, exactly as
    // vex3D_DrawShadedQuad derives them: shades[2j] for (P0, P1, P2), shades[2j+1] for
    // (P2, P3, P0).
    void (*shadeColumn)(const VexShadeColumn& column, int count, unsigned char* shades);
    // Pixel column and row of `count` corners sharing the plot x (as viewX, the x term of the
    // projection), exactly as vex3D_Project places them.
    void (*projectColumn)(const double* heights, const double* viewY, int count, double viewX,
                          const VexProjectionConstants& camera, int* columns, int* rows);
    // The cells of the runs in order, each as vex3D_DrawShadedQuad draws it, on the band only.
    void (*drawCells)(const VexCellGrid& grid, const VexCellRun* runs, int count,
                      const VexRowBand& band);
    // vex3D_FillTriangle from projected corners (outline, then fill) in one colour, on the band.
    void (*fillTriangle)(const VexRowBand& band, int x0, int y0, int x1, int y1, int x2, int y2,
                         int colour);
    // vexRaster_DrawLine's pixels in one colour, on the band.
    void (*drawLine)(const VexRowBand& band, int x1, int y1, int x2, int y2, int colour);
    // The sweep's cell from projected corners (see vexFractal_DrawCellRows), on the band.
    void (*drawCell)(const VexRowBand& band, const int* x, const int* y, int colour1, int colour2);
};

extern const VexFastKernels vexFastKernelsScalar;
extern const VexFastKernels vexFastKernelsAvx2;
extern const VexFastKernels vexFastKernelsAvx512;

// The kernels chosen by vexFractal_SelectFastLanes (the widest supported by default).
const VexFastKernels& vexFractal_ActiveKernels();

// Work shared by the threads computing one height grid: each takes a few columns at a time.
struct VexHeightWork {
    const double* xs;
    int nx;
    const double* ys;
    int ny;
    double* heights;
    const VexFastKernels* kernels;
    std::atomic<int> nextColumn;
};

// The orbit slots a thread needs for a grid of ny rows with vectors of `lanes`; the bytes
// `count` slots take (six doubles and two indices each, rounded up to whole cache lines); and
// those slots laid out in such memory, aligned for doubles.
const int orbitSlotBytes = 6 * 8 + 2 * 4;
int vexFractal_OrbitSlotCount(int ny, int lanes);
long long vexFractal_OrbitSlotBytes(int count);
VexOrbitSlots vexFractal_OrbitSlotsIn(unsigned char* memory, int count);

// Computes columns of `work` until none are left, in the thread's own slots; called by every
// thread of the grid.
void vexFractal_RunHeightWorker(VexHeightWork* work, const VexOrbitSlots& slots);

// Canvas rows [rowBegin, rowEnd), cut to the canvas; empty when there is no buffer.
VexRowBand vexFractal_CanvasBand(int rowBegin, int rowEnd);
