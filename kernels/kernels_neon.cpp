// The fast frame's kernels for AArch64's NEON: two lanes of doubles.
#include <arm_neon.h>

#include <cmath>

#include "fractal/fractal.h"
#include "kernels/kernels.h"
#include "raster/raster.h"
#include "view3d/view3d.h"
// After the headers they rely on. NEON is part of every AArch64 processor, so this unit is
// compiled for the baseline instruction set like the scalar one, and needs no target region.
#include "lanes/lanes_scalar.h"

#include "lanes/lanes_neon.h"

#include "kernels/kernel_bodies.h"

const VexKernels vexKernelsNeon = kernelTable<NeonLanes>();
