// 3D view and facets: the view prism (camera), the light direction, the perspective projection
// of plot-space points to canvas pixels, and the drawing of outlined, filled and shaded facets.
#pragma once

// A point in plot units.
struct Point3 {
    double x;
    double y;
    double z;
};

// The single view state: the prism's box scaled onto a cube, turned by azimuth and elevation.
struct Prism {
    double centerX, centerY, centerZ;
    double scaleX, scaleY, scaleZ;
    double cosAzimuth, sinAzimuth;
    double cosElevation, sinElevation;
    double cosElevCosAzim;
    double sinElevSinAzim;
    double sinElevCosAzim;
    double cosElevSinAzim;
    double eyeDepth;
    double screenDistance;
    int boundsKept;
    double keptBounds[6];  // x min, x max, y min, y max, z min, z max
};

extern Prism viewPrism;     // all zero until the first successful vex3D_InitializePrism
extern Point3 lightVector;  // (0, 0, 1) until then; a unit vector afterwards

int vex3D_InitializePrism(double x1, double y1, double z1, double x2, double y2, double z2,
                          int keepBounds, double viewHalfSize, double azimuth, double elevation,
                          double eyeDepth, double screenDistance);

// Writes the pixel column and row of the point. Offsets from the canvas centre are truncated
// toward zero and then held within +-vexProjectionLimit; a NaN offset counts as 0.
void vex3D_Project(Point3 point, int* column, int* row);
constexpr int vexProjectionLimit = 1 << 30;

void vex3D_FillTriangle(Point3 t0, Point3 t1, Point3 t2);
void vex3D_DrawShadedQuad(Point3 p0, Point3 p1, Point3 p2, Point3 p3, int drawQuadOutline,
                          int skipTriangles, int cullBackFaces, int shadeLow, int shadeHigh,
                          int outlineOnly);
