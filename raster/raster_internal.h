// Raster canvas, internal: the canvas state and entry points that only the raster files, their
// tests and their fuzzers use.
#pragma once

#include "raster/raster.h"

// ---- Canvas and pixels --------------------------------------------------------------------------

extern int clipEnabled;  // non-zero (always, in the program): coordinates are tested

// Writes the drawing colour at a byte offset, with the pen footprint; out-of-buffer writes drop.
void vexRaster_PutPixel(int offset);
// The byte offset of pixel (x, y) through the bottom-up row table; nothing is tested.
int vexRaster_PixelOffset(int x, int y);

// ---- Lines --------------------------------------------------------------------------------------

// The per-pixel walk every line that leaves the canvas takes.
void vexRaster_DrawClippedLine(int x1, int y1, int x2, int y2);
// The unclipped runs, for lines with both ends on the canvas and at most 32767 steps.
void vexRaster_DrawHorizontalRun(int x, int y, int count);
void vexRaster_DrawVerticalRun(int x, int y, int count);
void vexRaster_DrawShallowRun(int x, int y, int count, int dx, int dy);
void vexRaster_DrawSteepRun(int x, int y, int count, int dx, int dy);

// ---- Polygon fill -------------------------------------------------------------------------------

struct PolygonVertex {
    int x;
    int y;
};

// ---- Bitmap font text ---------------------------------------------------------------------------

void vexText_DrawChar(int x, int y, char character);
