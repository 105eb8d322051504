// Grid corners for the fast frame: the view in force read once, and columns of corners handed to
// the corner kernels of the lane width in use.
#include "raster/raster.h"
#include "view3d/view3d.h"
#include "view3d/view3d_kernels.h"

VexCornerView vex3D_CornerView(double heightOffset) {
    const Prism& p = viewPrism;
    VexCornerView view;
    view.camera = {p.centerZ,        p.scaleZ,         p.cosElevation,   p.sinElevation,
                   p.sinElevCosAzim, p.sinElevSinAzim, p.cosElevCosAzim, p.cosElevSinAzim,
                   p.cosAzimuth,     p.sinAzimuth,     p.eyeDepth,       p.screenDistance,
                   canvasCenterX,    canvasCenterY,    heightOffset};
    view.centerX = p.centerX;
    view.scaleX = p.scaleX;
    view.centerY = p.centerY;
    view.scaleY = p.scaleY;
    view.light = lightVector;
    return view;
}

void vex3D_ViewRows(const VexCornerView& view, const double* ys, int count, double* viewY) {
    for (int j = 0; j < count; ++j) {
        viewY[j] = (ys[j] - view.centerY) * view.scaleY;
    }
}

void vex3D_ShadeColumn(const VexShadeColumn& column, int count, unsigned char* shades) {
    vex3D_CornerKernels().shadeColumn(column, count, shades);
}

void vex3D_ProjectColumn(const VexCornerView& view, double x, const double* heights,
                         const double* viewY, int count, int* columns, int* rows) {
    // The x term is the same double for every corner of the column.
    const double viewX = (x - view.centerX) * view.scaleX;
    vex3D_CornerKernels().projectColumn(heights, viewY, count, viewX, view.camera, columns, rows);
}
