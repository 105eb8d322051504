// Raster canvas: the software frame buffer and its drawing state, pixels, lines, polygon fill
// and bitmap-font text. There is exactly one canvas per process.
#pragma once

#include "lanes/lanes.h"

// A colour packed as 0x00RRGGBB; pixel writes ignore the top byte.
typedef int Color;

// ---- Canvas state read directly by other parts of the program ----------------------------------

extern int canvasWidth;              // pixels per row
extern int canvasHeight;             // number of rows
extern int canvasBytesPerPixel;      // always 3 once initialised
extern int canvasByteSize;           // width * height * 3
extern int canvasCenterX;            // width / 2
extern int canvasCenterY;            // height / 2
extern unsigned char* canvasBuffer;  // the caller's frame buffer, not owned by the canvas

// ---- Canvas and pixels --------------------------------------------------------------------------

void vexRaster_SetColor(Color value);
void vexRaster_SetClearColor(Color value);
Color vexRaster_MakeColor(int greenBlue, int red);
void vexRaster_SetPenSize(int r);

// Sets the geometry, builds the bottom-up row table and returns the byte size. A null buffer
// is accepted (sizing). Dimensions the canvas cannot describe are fatal.
int vexRaster_Initialize(int width, int height, unsigned char* buffer);

void vexRaster_Clear();
// Writes the drawing colour at pixel (x, y) with the pen footprint; off-canvas plots drop.
void vexRaster_Plot(int x, int y);

// Exchanges the first and third byte of every pixel of the buffer; always returns 0.
int vexRaster_SwapRedBlue(unsigned char* buffer);

// The same canvas as vexRaster_Clear, byte for byte and for every pen, written in bulk on up to
// threadCount threads (fewer than 1 means 1). The drawing colour is not touched.
void vexRaster_ClearFast(int threadCount);

// The same bytes as vexRaster_SwapRedBlue, eight pixels at a time on up to threadCount threads;
// always returns 0.
int vexRaster_SwapRedBlueFast(unsigned char* buffer, int threadCount);

// ---- Lines --------------------------------------------------------------------------------------

void vexRaster_DrawLine(int x1, int y1, int x2, int y2);

// ---- Polygon fill -------------------------------------------------------------------------------

void vexRaster_PolygonBegin(int x, int y);
void vexRaster_PolygonAddVertex(int x, int y);
void vexRaster_PolygonFill();

// ---- Bitmap font text ---------------------------------------------------------------------------

extern int textScale;  // canvas pixels per font pixel; the scene places its labels by it

int vexText_LoadFont(const char* fileName);
void vexText_SetForeground(Color colour);
void vexText_SetBackground(Color colour);
void vexText_SetScale(int scale);
void vexText_SetOpaque(int flag);
void vexText_DrawString(int x, int y, const char* text);
void vexText_DrawNumber(int x, int y, int value);
void vexText_Flush();

// ---- Bands of rows: the fast frame's rasteriser ------------------------------------------------
// The literal lines, fills and cells, pixel for pixel, drawn a band of canvas rows at a time so
// that each thread paints rows of its own. The kernels run in the lanes chosen at run time.

// The fast frame draws the canvas in bands of this many rows, handed out to its threads one at a
// time; the rasteriser's table of cell rows holds as many.
constexpr int vexBandRows = 128;

// A band of canvas rows, rowBegin <= y < rowEnd, all on the canvas, and the frame buffer the
// rows lie in (bottom-up, three bytes per pixel).
struct VexRowBand {
    unsigned char* buffer;
    long long width;
    int height;
    int rowBegin;
    int rowEnd;
};

// The projected grid and the triangle shades, as the rasteriser reads them.
struct VexCellGrid {
    const int* const* columns;    // columns[i][j]: pixel column of corner (i, j)
    const int* const* rows;       // rows[i][j]: pixel row of corner (i, j)
    const unsigned char* shades;  // 2 per cell, cell (i, j) at 2 * (i * (ny - 1) + j)
    const VexInk* inks;           // inks[shade]: vexRaster_MakeColor(0xff0000, shade)
    int nx;
    int ny;
};

// Cells first..last of cell column `column`, consecutive in sweep order.
struct VexCellRun {
    int column;
    int first;
    int last;
};

// Canvas rows [rowBegin, rowEnd), cut to the canvas; empty when there is no buffer.
VexRowBand vexRaster_Band(int rowBegin, int rowEnd);

// The colour's pattern for the rasteriser's wide stores.
VexInk vexRaster_InkOf(Color colour);

// Bytes of working memory one thread's vexRaster_DrawCells needs, for any lane width.
long long vexRaster_CellScratchBytes();

// Widens [*left, *right] to the canvas columns that the runs' cells reach, about (their end
// corners), and asks for the runs' rows and shades, so that they are in the cache when drawn.
void vexRaster_ColumnsOfRuns(const VexCellGrid& grid, const VexCellRun* runs, int count, int* left,
                             int* right);

// Reads one byte of each frame-buffer line of the band's rows between the canvas columns left
// and right, in address order, writing nothing: the drawing then finds them in the cache.
void vexRaster_WarmBand(const VexRowBand& band, int left, int right);

// The cells of the runs in order, each as vex3D_DrawShadedQuad draws it, on the band only, with
// `scratch` (vexRaster_CellScratchBytes, aligned for doubles) as working memory.
void vexRaster_DrawCells(const VexCellGrid& grid, const VexCellRun* runs, int count,
                         const VexRowBand& band, void* scratch);
