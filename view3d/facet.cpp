// Facet renderer: projected triangle and quadrilateral outlines, filled triangles, and the
// flat-shaded surface cell drawn as two triangles lit by the light direction.
#include <cmath>
#include <cstdio>

#include "driver/driver.h"
#include "raster/raster.h"
#include "view3d/view3d.h"
#include "view3d/view3d_internal.h"

namespace {

Point3 difference(Point3 to, Point3 from) {
    Point3 d = {to.x - from.x, to.y - from.y, to.z - from.z};
    return d;
}

// A zero-length edge (a corner repeating its neighbour) is reported and left as it is, so the
// normal built from it is (0, 0, 0) and its facet takes the low shade.
void normalize(Point3* v) {
    double length = std::sqrt(v->z * v->z + v->y * v->y + v->x * v->x);
    if (length == 0.0) {
        std::printf("zero-length vector");
        return;
    }
    v->x = v->x / length;
    v->y = v->y / length;
    v->z = v->z / length;
}

// Projects the corners and outlines the triangle T0 -> T1 -> T2 -> T0 in the current colour;
// the pixel positions are handed back for a fill.
void projectAndOutline(Point3 t0, Point3 t1, Point3 t2, int* x0, int* y0, int* x1, int* y1, int* x2,
                       int* y2) {
    vex3D_Project(t0, x0, y0);
    vex3D_Project(t1, x1, y1);
    vex3D_Project(t2, x2, y2);
    vexRaster_DrawLine(*x0, *y0, *x1, *y1);
    vexRaster_DrawLine(*x1, *y1, *x2, *y2);
    vexRaster_DrawLine(*x2, *y2, *x0, *y0);
}

double dotWithLight(Point3 n) {
    return n.z * lightVector.z + n.y * lightVector.y + n.x * lightVector.x;
}

// The integer part of a shade. Corners with NaN or infinite coordinates make the dot product
// NaN: it takes the low shade, as a facet with a zero normal does. A wide shade range can leave
// the int range; such values are held at its ends.
int truncateShade(double shade, int shadeLow) {
    return std::isnan(shade) ? shadeLow : vexMath_Truncate(shade);
}

// One triangle of a cell: culled unless it faces away from the light when culling is on,
// otherwise shaded in red by the magnitude of its dot product with the light.
void drawShadedTriangle(Point3 t0, Point3 t1, Point3 t2, Point3 normal, int cullBackFaces,
                        int shadeLow, int shadeHigh, int outlineOnly) {
    double dot = dotWithLight(normal);
    // "Not negative" includes 0 and NaN: only a facet known to face the light is kept.
    if (cullBackFaces != 0 && !(dot < 0.0)) {
        return;
    }
    vexRaster_SetPenSize(0);
    // The range is an int difference; it wraps as a 32-bit subtraction instead of overflowing.
    int range = static_cast<int>(static_cast<unsigned int>(shadeHigh) -
                                 static_cast<unsigned int>(shadeLow));
    int shade = truncateShade(
        std::fabs(dot) * static_cast<double>(range) + static_cast<double>(shadeLow), shadeLow);
    // Only the low byte of the shade reaches the colour, so 256 wraps to red 0.
    vexRaster_SetColor(vexRaster_MakeColor(0xff0000, shade));
    if (outlineOnly != 0) {
        vex3D_DrawTriangleOutline(t0, t1, t2);
    } else {
        vex3D_FillTriangle(t0, t1, t2);
    }
}

}  // namespace

void vex3D_DrawTriangleOutline(Point3 t0, Point3 t1, Point3 t2) {
    int x0, y0, x1, y1, x2, y2;
    projectAndOutline(t0, t1, t2, &x0, &y0, &x1, &y1, &x2, &y2);
}

// The outline is drawn first, in the fill colour, so the triangle carries its own edges even
// where the scan-line fill rounds a crossing inward.
void vex3D_FillTriangle(Point3 t0, Point3 t1, Point3 t2) {
    int x0, y0, x1, y1, x2, y2;
    projectAndOutline(t0, t1, t2, &x0, &y0, &x1, &y1, &x2, &y2);
    vexRaster_PolygonBegin(x0, y0);
    vexRaster_PolygonAddVertex(x1, y1);
    vexRaster_PolygonAddVertex(x2, y2);
    vexRaster_PolygonFill();
}

void vex3D_DrawQuadOutline(Point3 q0, Point3 q1, Point3 q2, Point3 q3) {
    int x0, y0, x1, y1, x2, y2, x3, y3;
    vex3D_Project(q0, &x0, &y0);
    vex3D_Project(q1, &x1, &y1);
    vex3D_Project(q2, &x2, &y2);
    vex3D_Project(q3, &x3, &y3);
    vexRaster_DrawLine(x0, y0, x1, y1);
    vexRaster_DrawLine(x1, y1, x2, y2);
    vexRaster_DrawLine(x2, y2, x3, y3);
    vexRaster_DrawLine(x3, y3, x0, y0);
}

void vex3D_DrawShadedQuad(Point3 p0, Point3 p1, Point3 p2, Point3 p3, int drawQuadOutline,
                          int skipTriangles, int cullBackFaces, int shadeLow, int shadeHigh,
                          int outlineOnly) {
    Point3 e01 = difference(p1, p0);
    Point3 e03 = difference(p3, p0);
    Point3 e21 = difference(p1, p2);
    Point3 e23 = difference(p3, p2);
    // Normalised whatever the flags say, so a degenerate cell is reported even when nothing
    // is drawn.
    normalize(&e01);
    normalize(&e03);
    normalize(&e21);
    normalize(&e23);

    // The normals are left unnormalised: their length is the sine of the angle between the
    // unit edges, which darkens cells whose edges are not at right angles. Each is taken at a
    // corner on the diagonal P0-P2 from the edges toward P1 and P3.
    Point3 n1 = {e03.y * e01.z - e03.z * e01.y, e03.z * e01.x - e03.x * e01.z,
                 e03.x * e01.y - e03.y * e01.x};
    Point3 n2 = {e21.y * e23.z - e21.z * e23.y, e21.z * e23.x - e21.x * e23.z,
                 e21.x * e23.y - e21.y * e23.x};

    if (skipTriangles == 0) {
        drawShadedTriangle(p0, p1, p2, n1, cullBackFaces, shadeLow, shadeHigh, outlineOnly);
        drawShadedTriangle(p2, p3, p0, n2, cullBackFaces, shadeLow, shadeHigh, outlineOnly);
    }

    if (drawQuadOutline != 0) {
        Point3 mean = {(n2.x + n1.x) * 0.5, (n2.y + n1.y) * 0.5, (n2.z + n1.z) * 0.5};
        double dot = dotWithLight(mean);
        if (cullBackFaces != 0 && !(dot < 0.0)) {
            return;
        }
        // The pen is left alone: 0 if a triangle was drawn in this call, else the caller's.
        vexRaster_SetColor(skipTriangles != 0 ? 0xff0000 : 0x0000ff);
        vex3D_DrawQuadOutline(p0, p1, p2, p3);
    }
}
