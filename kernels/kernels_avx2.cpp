// The fast frame's kernels for processors with AVX2: four lanes of doubles.
#include <immintrin.h>

#include <cmath>

#include "fractal/fractal.h"
#include "kernels/kernels.h"
#include "raster/raster.h"
#include "view3d/view3d.h"

// Everything below is compiled for AVX2 and runs only where the processor has it; every header
// it needs is included above, so that no library code is compiled for it. No fused
// multiply-add: the build forbids contraction, and no intrinsic here fuses.
// gcc and clang spell "compile what follows for this processor" differently.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "lanes/lanes_scalar.h"

#include "lanes/lanes_avx2.h"

#include "kernels/kernel_bodies.h"

const VexKernels vexKernelsAvx2 = kernelTable<Avx2Lanes>();

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
