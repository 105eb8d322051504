// The reference the fast frame's one-pass cells are held to, shared by the tests and the fuzz
// harness: a cell from projected corners P0..P3 as the literal routines draw it, less the edges
// that the cells after it in the sweep paint again.
#pragma once

#include "raster/raster.h"

// Triangle (P0, P1, P2) with its line P0 -> P1 in colour1, then triangle (P2, P3, P0) with its
// lines P3 -> P0 and P0 -> P2 in colour2, with the pen size in force.
inline void drawLiteralCell(const int x[4], const int y[4], int colour1, int colour2) {
    vexRaster_SetColor(colour1);
    vexRaster_DrawLine(x[0], y[0], x[1], y[1]);
    vexRaster_PolygonBegin(x[0], y[0]);
    vexRaster_PolygonAddVertex(x[1], y[1]);
    vexRaster_PolygonAddVertex(x[2], y[2]);
    vexRaster_PolygonFill();
    vexRaster_SetColor(colour2);
    vexRaster_DrawLine(x[3], y[3], x[0], y[0]);
    vexRaster_DrawLine(x[0], y[0], x[2], y[2]);
    vexRaster_PolygonBegin(x[2], y[2]);
    vexRaster_PolygonAddVertex(x[3], y[3]);
    vexRaster_PolygonAddVertex(x[0], y[0]);
    vexRaster_PolygonFill();
}
