// The fast frame's kernels, one set per instruction set, each compiled in a unit of its own from
// the modules' kernel bodies; and the run-time choice among them. This layer sits above the
// modules: it includes their headers, they never include it.
#pragma once

#include "fractal/fractal_kernels.h"
#include "raster/raster_kernels.h"
#include "view3d/view3d_kernels.h"

// Every module's kernels of one lane width.
struct VexKernels {
    int lanes;
    VexOrbitKernels orbits;
    VexCornerKernels corners;
    VexBandKernels bands;
};

// The sets the build holds: the scalar one everywhere, the wider ones where the build's
// processor family has them (see CMakeLists.txt).
extern const VexKernels vexKernelsScalar;
extern const VexKernels vexKernelsAvx2;
extern const VexKernels vexKernelsAvx512;
extern const VexKernels vexKernelsNeon;

// Width of the vector lanes the kernels in use run in: 8 (AVX-512), 4 (AVX2), 2 (NEON) or 1
// (plain scalar code). The widest that the build holds and the processor supports is chosen on
// first use, once, safely from any thread.
int vexKernels_Lanes();

// Uses the kernels of that width from now on; returns 0, changing nothing, where the build or the
// processor lacks them. Meant for tests and benchmarks, between frames.
int vexKernels_SelectLanes(int lanes);
