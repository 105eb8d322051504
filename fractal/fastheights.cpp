// The fast frame's height grid: every distinct grid corner evaluated once, orbits advanced in
// vector lanes, the unfinished ones packed together between stages so that no lane idles long.
#include <algorithm>
#include <thread>
#include <vector>

#include "fractal/fastkernels.h"
#include "fractal/fractal.h"

namespace {

// Columns a thread takes at a time: enough orbits to fill the vectors after packing, few enough
// that the last takes end together.
const int columnsPerTake = 4;

// Iteration counts at which the unfinished orbits are packed. Most points escape within 16
// iterations; what is left after 256 is mostly the set itself. Each is a power of two, as the
// cycle check requires, and the last is the iteration cap.
const int stageEnds[] = {16, 32, 64, 128, 256, 512, 1024};

}  // namespace

void vexFractal_RunHeightWorker(VexHeightWork* work) {
    const VexFastKernels& kernels = *work->kernels;
    const int padding = 2 * kernels.lanes;  // a whole group of vectors
    const int capacity = columnsPerTake * work->ny + padding;
    std::vector<double> cr(capacity), ci(capacity), zx(capacity), zy(capacity);
    std::vector<int> index(capacity);
    VexOrbitSlots slots = {cr.data(), ci.data(), zx.data(), zy.data(), index.data()};
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
            std::fill(cr.begin() + count, cr.begin() + count + padding, 0.0);
            std::fill(ci.begin() + count, ci.begin() + count + padding, 0.0);
            std::fill(zx.begin() + count, zx.begin() + count + padding, 0.0);
            std::fill(zy.begin() + count, zy.begin() + count + padding, 0.0);
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
    VexHeightWork work;
    work.xs = xs;
    work.nx = nx;
    work.ys = ys;
    work.ny = ny;
    work.heights = heights;
    work.kernels = &vexFractal_ActiveKernels();
    work.nextColumn.store(0);
    std::vector<std::thread> helpers;
    for (int t = 1; t < threadCount; ++t) {
        helpers.emplace_back(vexFractal_RunHeightWorker, &work);
    }
    vexFractal_RunHeightWorker(&work);
    for (std::thread& helper : helpers) {
        helper.join();
    }
}
