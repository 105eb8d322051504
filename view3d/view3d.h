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

// ---- Grid corners in lanes: the fast frame's projection and shading ----------------------------
// The same pixels and shades as vex3D_Project and vex3D_DrawShadedQuad, a column of grid corners
// at a time, in the vector lanes chosen at run time.

// The camera reduced to what one corner's projection needs beyond its height.
struct VexProjectionConstants {
    double centerZ, scaleZ;
    double cosElevation, sinElevation;
    double sinElevCosAzim, sinElevSinAzim, cosElevCosAzim, cosElevSinAzim;
    double cosAzimuth, sinAzimuth;
    double eyeDepth, screenDistance;
    int centerX, centerY;  // the canvas's centre
    double heightOffset;   // subtracted from each height to give the corner's plot z
};

// What projecting and shading a grid's corners needs from the prism, the light and the canvas.
struct VexCornerView {
    VexProjectionConstants camera;
    double centerX, scaleX, centerY, scaleY;  // the prism's x and y terms
    Point3 light;
};

// The view in force, for corners whose plot z is their height less heightOffset.
VexCornerView vex3D_CornerView(double heightOffset);

// The projection's y term (y - centerY) * scaleY of each row coordinate: the same double for
// every corner of a row.
void vex3D_ViewRows(const VexCornerView& view, const double* ys, int count, double* viewY);

// One cell column's shading input: raw heights of its two corner columns and the grid steps,
// each written as the facet renderer forms the edge vectors (P1 - P0 and so on).
struct VexShadeColumn {
    const double* left;      // heights of corners (x, y_j)
    const double* right;     // heights of corners (xn, y_j)
    const double* stepUp;    // y_{j+1} - y_j
    const double* stepDown;  // y_j - y_{j+1}
    double stepRight;        // xn - x
    double stepLeft;         // x - xn
    double lightX, lightY, lightZ;
    double heightOffset;  // subtracted from each height to give the corner's plot z
    // vex3D_DrawShadedQuad's shadeLow and shadeHigh - shadeLow; shadeLow is 0 where the kernels
    // are used (their shades are its low bytes).
    double shadeLow, shadeRange;
};

// Red intensities of both triangles of cells 0..count-1 of a column, exactly as
// vex3D_DrawShadedQuad derives them: shades[2j] for (P0, P1, P2), shades[2j+1] for (P2, P3, P0).
void vex3D_ShadeColumn(const VexShadeColumn& column, int count, unsigned char* shades);

// Pixel column and row of `count` corners at plot x `x` with the rows' viewY terms, exactly as
// vex3D_Project places them.
void vex3D_ProjectColumn(const VexCornerView& view, double x, const double* heights,
                         const double* viewY, int count, int* columns, int* rows);
