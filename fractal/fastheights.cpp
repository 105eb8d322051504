// The fast frame's height grid: every distinct grid corner evaluated once, orbits advanced in
// vector lanes, the unfinished ones packed together between stages so that no lane idles long.
#include <algorithm>
#include <vector>

#include "driver/driver.h"
#include "fractal/fractal.h"
#include "fractal/fractal_kernels.h"

namespace {

// Columns a thread takes at a time: enough orbits to fill the vectors after packing, few enough
// that the last takes end together.
const int columnsPerTake = 2;

// Iteration counts at which the unfinished orbits are packed: most points escape within 16
// iterations. The last is 58, from which every orbit still going has height 1 (settledAt in
// fractal/orbit_escape.h).
const int stageEnds[] = {16, 32, 58};

// One height grid's work and each thread's orbit slots, side by side in `memory`.
struct HeightGrid {
    VexHeightWork work;
    unsigned char* memory;
    int slotCount;
    long long slotBytes;
};

void runHeightThread(void* context, int index, int) {
    HeightGrid& grid = *static_cast<HeightGrid*>(context);
    vexFractal_RunHeightWorker(
        &grid.work, vexFractal_OrbitSlotsIn(grid.memory + index * grid.slotBytes, grid.slotCount));
}

}  // namespace

int vexFractal_OrbitSlotCount(int ny, int lanes) {
    // A take's orbits and a whole group of vectors beyond them.
    return columnsPerTake * ny + 2 * lanes;
}

long long vexFractal_OrbitSlotBytes(int count) {
    return (static_cast<long long>(count) * orbitSlotBytes + 63) / 64 * 64;
}

VexOrbitSlots vexFractal_OrbitSlotsIn(unsigned char* memory, int count) {
    double* reals = reinterpret_cast<double*>(memory);
    int* indices = reinterpret_cast<int*>(reals + 6 * count);
    VexOrbitSlots slots = {reals,   reals + count,     reals + 2 * count, reals + 3 * count,
                           indices, reals + 4 * count, reals + 5 * count, indices + count};
    return slots;
}

void vexFractal_RunHeightWorker(VexHeightWork* work, const VexOrbitSlots& slots) {
    const VexOrbitKernels& kernels = *work->kernels;
    const int padding = 2 * kernels.lanes;  // a whole group of vectors
    double* cr = slots.cr;
    double* ci = slots.ci;
    double* zx = slots.zx;
    double* zy = slots.zy;
    int* index = slots.index;
    for (;;) {
        int first = work->nextColumn.fetch_add(columnsPerTake);
        if (first >= work->nx) {
            break;
        }
        int last = std::min(first + columnsPerTake, work->nx);
        int count = 0;
        for (int i = first; i < last; ++i) {
            for (int j = 0; j < work->ny; ++j) {
                cr[count] = work->xs[i];
                ci[count] = work->ys[j];
                zx[count] = work->xs[i];
                zy[count] = work->ys[j];
                index[count] = i * work->ny + j;
                ++count;
            }
        }
        int from = 0;
        for (int to : stageEnds) {
            // The lanes past the last orbit load harmless values and are never settled.
            std::fill(cr + count, cr + count + padding, 0.0);
            std::fill(ci + count, ci + count + padding, 0.0);
            std::fill(zx + count, zx + count + padding, 0.0);
            std::fill(zy + count, zy + count + padding, 0.0);
            count = kernels.advanceOrbits(slots, count, from, to, work->heights);
            from = to;
            if (count == 0) {
                break;
            }
        }
    }
}

void vexFractal_FillHeightGrid(const double* xs, int nx, const double* ys, int ny, double* heights,
                               int threadCount) {
    if (nx <= 0 || ny <= 0) {
        return;
    }
    HeightGrid grid;
    VexHeightWork& work = grid.work;
    work.xs = xs;
    work.nx = nx;
    work.ys = ys;
    work.ny = ny;
    work.heights = heights;
    work.kernels = &vexFractal_OrbitKernels();
    work.nextColumn.store(0);
    const int threads = std::max(threadCount, 1);
    grid.slotCount = vexFractal_OrbitSlotCount(ny, work.kernels->lanes);
    grid.slotBytes = vexFractal_OrbitSlotBytes(grid.slotCount);
    std::vector<unsigned char> memory(static_cast<size_t>(threads * grid.slotBytes));
    grid.memory = memory.data();
    vexThreads_ForkJoin(threads, runHeightThread, &grid);
}
