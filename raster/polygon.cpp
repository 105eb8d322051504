// Polygon fill: a fixed edge list of up to 499 vertices and a scan-line fill that paints, on each
// row, one span from the leftmost to the rightmost edge crossing.
#include "driver/driver.h"
#include "raster/raster.h"
#include "raster/raster_internal.h"

namespace {

const int polygonCapacity = 500;
// The last slot is a spill slot: once the list is full, further vertices overwrite it and the
// count stays here, so the fill never reads it.
const int polygonMaxVertices = polygonCapacity - 1;

PolygonVertex polygonVertices[polygonCapacity];
int polygonVertexCount = 0;

// Rounds half away from zero, as vexMath_Round does. That routine saturates at the int range,
// but an edge between far-apart vertices can cross up to 2^32 pixels from its first vertex; the
// same rule is then applied in 64 bits, so the crossing stays on the correct side of the canvas.
long long roundCrossing(double t) {
    if (t > -2147483648.0 && t < 2147483647.0) {
        return vexMath_Round(t);
    }
    return static_cast<long long>(t > 0 ? t + 0.5 : -(0.5 - t));
}

}  // namespace

void vexRaster_PolygonBegin(int x, int y) {
    polygonVertexCount = 0;
    vexRaster_PolygonAddVertex(x, y);
}

void vexRaster_PolygonAddVertex(int x, int y) {
    polygonVertices[polygonVertexCount].x = x;
    polygonVertices[polygonVertexCount].y = y;
    if (polygonVertexCount < polygonMaxVertices) {
        ++polygonVertexCount;
    }
}

void vexRaster_PolygonFill() {
    int n = polygonVertexCount;
    // Before the first begin there is no polygon (the closing edge would start at slot -1).
    if (n == 0) {
        return;
    }
    int ymin = polygonVertices[0].y;
    int ymax = polygonVertices[0].y;
    for (int i = 1; i < n; ++i) {
        if (polygonVertices[i].y < ymin) {
            ymin = polygonVertices[i].y;
        }
        if (polygonVertices[i].y > ymax) {
            ymax = polygonVertices[i].y;
        }
    }
    if (ymin < 0) {
        ymin = 0;
    }
    if (ymax > canvasHeight - 1) {
        ymax = canvasHeight - 1;
    }
    for (int y = ymin; y <= ymax; ++y) {
        // The span starts inverted but not empty: a row whose crossings all lie left of the
        // canvas still paints x = 0, and one whose crossings all lie right paints x = width - 1.
        // The picture depends on it. Crossings are kept in 64 bits and only clamped below.
        long long start = canvasWidth - 1;
        long long end = 0;
        // Edges are visited closing edge first: n-1 -> 0, then 0 -> 1, ..., n-2 -> n-1.
        const PolygonVertex* p = &polygonVertices[n - 1];
        for (int i = 0; i < n; ++i) {
            const PolygonVertex* c = &polygonVertices[i];
            bool above = p->y < y && c->y < y;
            bool below = p->y > y && c->y > y;
            // Horizontal edges give no crossing; their ends come in through the neighbours.
            if (!above && !below && p->y != c->y) {
                // Measured from the edge's first vertex with halves away from zero, so the same
                // edge listed the other way round may cross one pixel further left or right.
                // The differences are exact in double (they need at most 33 bits).
                double q = static_cast<double>(static_cast<long long>(c->x) - p->x) /
                           static_cast<double>(static_cast<long long>(c->y) - p->y);
                double t = static_cast<double>(static_cast<long long>(y) - p->y) * q;
                long long x = p->x + roundCrossing(t);
                if (x < start) {
                    start = x;
                }
                if (x > end) {
                    end = x;
                }
            }
            p = c;
        }
        if (start < 0) {
            start = 0;
        }
        if (end > canvasWidth - 1) {
            end = canvasWidth - 1;
        }
        for (long long x = start; x <= end; ++x) {
            vexRaster_Plot(static_cast<int>(x), y);
        }
    }
}
