// The fast frame's kernels in plain scalar code, for any processor: one lane.
#include <cmath>

#include "fractal/fractal.h"
#include "kernels/kernels.h"
#include "raster/raster.h"
#include "view3d/view3d.h"
// After the headers they rely on; compiled for the baseline instruction set.
#include "lanes/lanes_scalar.h"

#include "kernels/kernel_bodies.h"

const VexKernels vexKernelsScalar = kernelTable<ScalarLanes>();
