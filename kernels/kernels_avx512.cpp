// The fast frame's kernels for processors with AVX-512 (F, BW, VL and DQ): eight lanes of doubles.
#include <immintrin.h>

#include <cmath>

#include "fractal/fractal.h"
#include "kernels/kernels.h"
#include "raster/raster.h"
#include "view3d/view3d.h"

// Everything below is compiled for AVX-512 and runs only where the processor has it; every
// header it needs is included above, so that no library code is compiled for it. No fused
// multiply-add: the build forbids contraction, and no intrinsic here fuses.
// gcc and clang spell "compile what follows for this processor" differently.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw,avx512vl,avx512dq"))), \
                             apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl,avx512dq")
#endif

#include "lanes/lanes_scalar.h"

#include "lanes/lanes_avx512.h"

#include "kernels/kernel_bodies.h"

const VexKernels vexKernelsAvx512 = kernelTable<Avx512Lanes>();

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
