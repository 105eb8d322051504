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

// One frame of the surface, literally: every cell in sweep order, four height evaluations and
// one vex3D_DrawShadedQuad each. The reference the fast frame is held to.
void vexFractal_DrawSurfaceLiteral();

// The same frame, byte for byte, drawn fast on `threadCount` threads (1 or more).
void vexFractal_DrawSurfaceFast(int threadCount);

// Draws the whole scene into the cleared canvas: statistics, font, prism, the timed sweep,
// labels and report. Ends the process with status 1 when the timer or the font is missing.
void vexPlot_DrawScene(int pixelDepth);
