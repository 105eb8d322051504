// Raster canvas: the software frame buffer and its drawing state, pixels, lines, polygon fill
// and bitmap-font text. There is exactly one canvas per process.
#pragma once

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
