// The fast frame's plain scalar kernels, which run on any x86-64, and the run-time choice of
// the widest kernels the processor supports.
#include <cmath>

#include "fractal/fastkernels.h"
#include "fractal/fractal.h"
// After the headers it relies on; compiled for the baseline instruction set.
#include "fractal/fastlanes.h"

const VexFastKernels vexFastKernelsScalar = kernelTable<ScalarLanes>();

namespace {

bool supportsLanes(int lanes) {
    switch (lanes) {
        case 1:
            return true;
        case 4:
            return __builtin_cpu_supports("avx2");
        case 8:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                   __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq");
        default:
            return false;
    }
}

const VexFastKernels* kernelsOf(int lanes) {
    switch (lanes) {
        case 8:
            return &vexFastKernelsAvx512;
        case 4:
            return &vexFastKernelsAvx2;
        default:
            return &vexFastKernelsScalar;
    }
}

const VexFastKernels* widestKernels() {
    __builtin_cpu_init();
    const int widths[] = {8, 4, 1};
    for (int lanes : widths) {
        if (supportsLanes(lanes)) {
            return kernelsOf(lanes);
        }
    }
    return &vexFastKernelsScalar;
}

// Chosen once; changed only by vexFractal_SelectFastLanes, between frames.
const VexFastKernels* activeKernels = nullptr;

}  // namespace

const VexFastKernels& vexFractal_ActiveKernels() {
    if (activeKernels == nullptr) {
        activeKernels = widestKernels();
    }
    return *activeKernels;
}

int vexFractal_FastLanes() {
    return vexFractal_ActiveKernels().lanes;
}

int vexFractal_SelectFastLanes(int lanes) {
    __builtin_cpu_init();
    if (!supportsLanes(lanes)) {
        return 0;
    }
    activeKernels = kernelsOf(lanes);
    return 1;
}
