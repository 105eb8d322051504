// Private to the view3d module and its kernel units: the corner kernels' table.
#pragma once

#include "view3d/view3d.h"

// The corner kernels of one lane width.
struct VexCornerKernels {
    // vex3D_ShadeColumn.
    void (*shadeColumn)(const VexShadeColumn& column, int count, unsigned char* shades);
    // Pixel column and row of `count` corners sharing the plot x (as viewX, the x term of the
    // projection), exactly as vex3D_Project places them.
    void (*projectColumn)(const double* heights, const double* viewY, int count, double viewX,
                          const VexProjectionConstants& camera, int* columns, int* rows);
};

// The corner kernels of the lane width in use (kernels/kernels.cpp chooses it).
const VexCornerKernels& vex3D_CornerKernels();
