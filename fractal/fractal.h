// Mandelbrot surface: the escape-time height function and the scene that sweeps the grid of
// shaded facets, labels the picture and has the run statistics reported.
#pragma once

// Height of the surface at c = re + i im, in [0, 1]: 1 inside the set, lower for fast escape.
double vexFractal_MandelbrotHeight(double re, double im);

// The grid of the sweep. Coordinates are accumulated, each the previous one plus the step
// rounded to double, never start + k * step; the loops run while the coordinate is below the end.
constexpr double vexGridStartX = -2.5;
constexpr double vexGridEndX = 1.15;
constexpr double vexGridStartY = -1.8;
constexpr double vexGridEndY = 1.8;
constexpr double vexGridStep = 0.005;
constexpr double vexHeightOffset = 0.25;  // subtracted from every height

// Fills `corners` with the accumulated coordinates of one axis, start first, as the sweep makes
// them, and returns the number of cells n (the corners are n + 1). Returns -1 if more than
// `capacity` corners would be needed.
int vexFractal_GridAxis(double start, double end, double* corners, int capacity);

// One cell of the literal sweep: the heights of its corners (x, y), (xn, y), (xn, yn), (x, yn),
// in that order, and one vex3D_DrawShadedQuad with the corners counter-clockwise from (x, y).
void vexFractal_DrawCellLiteral(double x, double xn, double y, double yn);

// One frame of the surface, literally: every cell in sweep order, four height evaluations and
// one vex3D_DrawShadedQuad each. The reference the fast frame is held to.
void vexFractal_DrawSurfaceLiteral();

// The same frame, byte for byte, drawn fast on `threadCount` threads (1 or more).
void vexFractal_DrawSurfaceFast(int threadCount);

// ---- Pieces of the fast frame, each held to its literal counterpart by the tests ---------------

// The fast frame for any grid of corners xs[0..nx) by ys[0..ny): the cells between neighbouring
// corners, swept as the literal loop sweeps them (columns outer) with four heights and one
// vex3D_DrawShadedQuad each, drawn into the canvas on `threadCount` threads.
void vexFractal_DrawGridFast(const double* xs, int nx, const double* ys, int ny, int threadCount);

// heights[i * ny + j] = vexFractal_MandelbrotHeight(xs[i], ys[j]) bit for bit, every distinct
// corner evaluated once, on `threadCount` threads.
void vexFractal_FillHeightGrid(const double* xs, int nx, const double* ys, int ny, double* heights,
                               int threadCount);

// Vector width of the fast kernels: 8 (AVX-512), 4 (AVX2) or 1 (plain scalar code). The widest
// the processor supports is chosen on first use.
int vexFractal_FastLanes();
// Chooses the kernels of that width; returns 0, changing nothing, if the processor lacks them.
int vexFractal_SelectFastLanes(int lanes);

// The pixels vexRaster_DrawLine and vex3D_FillTriangle (outline, then fill) give for projected
// corners, in `colour`, written only on canvas rows rowBegin <= y < rowEnd: the band-limited
// primitives the fast frame draws with.
void vexFractal_DrawLineRows(int x1, int y1, int x2, int y2, int colour, int rowBegin, int rowEnd);
void vexFractal_FillTriangleRows(int x0, int y0, int x1, int y1, int x2, int y2, int colour,
                                 int rowBegin, int rowEnd);
// One cell as the fast frame draws it from projected corners P0..P3: triangle (P0, P1, P2) with
// its line P0 -> P1 in colour1, then triangle (P2, P3, P0) with its lines P3 -> P0 and P0 -> P2
// in colour2; the cell's other edges are left to the cells drawn after it. Rows as above.
void vexFractal_DrawCellRows(const int x[4], const int y[4], int colour1, int colour2, int rowBegin,
                             int rowEnd);

// Draws the whole scene into the cleared canvas: statistics, font, prism, the timed sweep,
// labels and report. The sweep runs plotFrameCount times, literally when plotUseReference is
// set, else fast on vexPlot_ThreadCount() threads. Ends the process with status 1 when the timer
// or the font is missing.
void vexPlot_DrawScene(int pixelDepth);
