// View prism and projection: the camera box scaled onto a turned cube, the light direction it
// implies, and the perspective projection of plot-space points onto canvas pixels.
#include <cmath>
#include <cstdio>

#include "raster/raster.h"
#include "view3d/view3d.h"

Prism viewPrism = {};
Point3 lightVector = {0.0, 0.0, 1.0};

namespace {

const double radiansPerDegree = 0.017453292519943295;

// Truncates a pixel offset toward zero. Offsets beyond +-vexProjectionLimit (points next to or
// behind the eye) are held at the limit and NaN (a projection before set-up, 0/0) counts as 0,
// because converting either to int directly is undefined. The limit plus any canvas centre
// still fits in an int.
int truncateOffset(double offset) {
    if (std::isnan(offset)) {
        return 0;
    }
    if (offset >= vexProjectionLimit) {
        return vexProjectionLimit;
    }
    if (offset <= -vexProjectionLimit) {
        return -vexProjectionLimit;
    }
    return static_cast<int>(offset);
}

}  // namespace

int vex3D_InitializePrism(double x1, double y1, double z1, double x2, double y2, double z2,
                          int keepBounds, double viewHalfSize, double azimuth, double elevation,
                          double eyeDepth, double screenDistance) {
    // Refused before anything is stored, so a failed call leaves the previous view intact.
    if (x1 == x2 || y1 == y2 || z1 == z2) {
        std::printf("vex3D_InitializePrism: Prism must have volume.\n");
        return 0;
    }
    if (x2 < x1) {
        double swap = x1;
        x1 = x2;
        x2 = swap;
    }
    if (y2 < y1) {
        double swap = y1;
        y1 = y2;
        y2 = swap;
    }
    if (z2 < z1) {
        double swap = z1;
        z1 = z2;
        z2 = swap;
    }
    if (keepBounds != 0) {
        viewPrism.keptBounds[0] = x1;
        viewPrism.keptBounds[1] = x2;
        viewPrism.keptBounds[2] = y1;
        viewPrism.keptBounds[3] = y2;
        viewPrism.keptBounds[4] = z1;
        viewPrism.keptBounds[5] = z2;
        viewPrism.boundsKept = 1;
    }

    // Each axis maps onto [-viewHalfSize, +viewHalfSize] on its own, whatever its extent.
    double extentX = x2 - x1;
    double extentY = y2 - y1;
    double extentZ = z2 - z1;
    viewPrism.centerX = extentX * 0.5 + x1;
    viewPrism.centerY = extentY * 0.5 + y1;
    viewPrism.centerZ = extentZ * 0.5 + z1;
    viewPrism.scaleX = (viewHalfSize + viewHalfSize) / extentX;
    viewPrism.scaleY = (viewHalfSize + viewHalfSize) / extentY;
    viewPrism.scaleZ = (viewHalfSize + viewHalfSize) / extentZ;

    // Everything that depends on the angles is computed here once, so that a projection
    // evaluates no trigonometric function.
    double azimuthRadians = azimuth * radiansPerDegree;
    double elevationRadians = elevation * radiansPerDegree;
    viewPrism.cosAzimuth = std::cos(azimuthRadians);
    viewPrism.sinAzimuth = std::sin(azimuthRadians);
    viewPrism.cosElevation = std::cos(elevationRadians);
    viewPrism.sinElevation = std::sin(elevationRadians);
    viewPrism.cosElevCosAzim = viewPrism.cosElevation * viewPrism.cosAzimuth;
    viewPrism.sinElevSinAzim = viewPrism.sinElevation * viewPrism.sinAzimuth;
    viewPrism.sinElevCosAzim = viewPrism.sinElevation * viewPrism.cosAzimuth;
    viewPrism.cosElevSinAzim = viewPrism.cosElevation * viewPrism.sinAzimuth;
    viewPrism.eyeDepth = eyeDepth;
    viewPrism.screenDistance = screenDistance;

    // The light comes from the eye's side: the direction from the cube's centre toward the eye,
    // derived from the angles by spherical coordinates rather than from the stored products.
    double a = (270.0 - azimuth) * radiansPerDegree;
    double b = (90.0 - elevation) * radiansPerDegree;
    Point3 light = {std::cos(a) * std::sin(b), std::sin(a) * std::sin(b), std::cos(b)};
    double length = std::sqrt(light.z * light.z + light.y * light.y + light.x * light.x);
    if (length == 0.0) {
        std::printf("zero-length vector");
    } else {
        light.x = light.x / length;
        light.y = light.y / length;
        light.z = light.z / length;
    }
    lightVector = light;
    return 1;
}

void vex3D_Project(Point3 point, int* column, int* row) {
    double X = (point.x - viewPrism.centerX) * viewPrism.scaleX;
    double Y = (point.y - viewPrism.centerY) * viewPrism.scaleY;
    double Z = (point.z - viewPrism.centerZ) * viewPrism.scaleZ;
    double V =
        viewPrism.cosElevation * Z + viewPrism.sinElevCosAzim * Y + viewPrism.sinElevSinAzim * X;
    double D =
        viewPrism.cosElevCosAzim * Y + viewPrism.cosElevSinAzim * X - viewPrism.sinElevation * Z;
    double H = viewPrism.cosAzimuth * X - viewPrism.sinAzimuth * Y;
    double divisor = D - viewPrism.eyeDepth;
    // The two quotients multiply in different orders; both orders are part of the picture.
    // Offsets are truncated before the centre is applied, so -0.9 and +0.9 both land on it.
    *column = truncateOffset(H * viewPrism.screenDistance / divisor) + canvasCenterX;
    // Canvas rows grow downward, so height in plot space points up in the picture.
    *row = canvasCenterY - truncateOffset(viewPrism.screenDistance * V / divisor);
}
