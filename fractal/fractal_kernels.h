// Private to the fractal module, its kernel units and its tests: the orbit kernel's table, the
// height grid's workers, and the fast frame's entry points that only the tests call.
#pragma once

#include <atomic>
#include <memory_resource>

// |z|^2 at or above this counts as escaped: an escape radius of 100.
constexpr double vexEscapeThreshold = 10000.0;

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

// The orbit kernel of one lane width.
struct VexOrbitKernels {
    int lanes;
    // Advances `count` orbits (slots padded to a whole number of vector pairs) from iteration
    // `from` to `to` (at most the iteration from which every height is 1). Finished orbits store
    // their height; the others are packed to the front of the slots with z at `to`. Returns how
    // many remain.
    int (*advanceOrbits)(const VexOrbitSlots& slots, int count, int from, int to, double* heights);
};

// The orbit kernel of the lane width in use (kernels/kernels.cpp chooses it).
const VexOrbitKernels& vexFractal_OrbitKernels();

// Work shared by the threads computing one height grid: each takes a few columns at a time.
struct VexHeightWork {
    const double* xs;
    int nx;
    const double* ys;
    int ny;
    double* heights;
    const VexOrbitKernels* kernels;
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

// Where the fast frame's run lists grow when they outgrow their part of the frame's block:
// memory from vexMemory_Calloc, so that a failure is its fatal message, never an exception.
std::pmr::memory_resource* vexFractal_RunListOverflow();

// ---- Pieces of the fast frame, each held to its literal counterpart by the tests ---------------

// The fast frame for any grid of corners xs[0..nx) by ys[0..ny): the cells between neighbouring
// corners, swept as the literal loop sweeps them (columns outer) with four heights and one
// vex3D_DrawShadedQuad each, drawn into the canvas on up to `threadCount` threads.
void vexFractal_DrawGridFast(const double* xs, int nx, const double* ys, int ny, int threadCount);

// heights[i * ny + j] = vexFractal_MandelbrotHeight(xs[i], ys[j]) bit for bit, every distinct
// corner evaluated once, on up to `threadCount` threads.
void vexFractal_FillHeightGrid(const double* xs, int nx, const double* ys, int ny, double* heights,
                               int threadCount);
