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

// The same frame, byte for byte, drawn fast on up to `threadCount` threads (fewer than 1 means 1).
void vexFractal_DrawSurfaceFast(int threadCount);

// The seconds the last fast frame spent in each of its phases, in their order, as its first
// thread saw them: a phase ends when every thread has finished it. All zero before the first
// fast frame and after a grid the fast path does not take on.
enum VexFramePhase {
    vexPhaseSetUp,
    vexPhaseHeights,
    vexPhaseShading,
    vexPhaseProjection,
    vexPhaseFiling,
    vexPhaseDrawing,
    vexFramePhaseCount
};
struct VexFramePhases {
    double seconds[vexFramePhaseCount];
};
VexFramePhases vexFractal_LastFramePhases();

// ---- The scene's constants, defined here once for the scene, the benchmark and the tests -------

constexpr const char* vexSceneTitle = "3V Azodevir Iror -- 12 -- Mandelbrot Set : f(z) = z^2 + c";
constexpr const char* vexSceneCopyright = "Copyright (c) 1994-2006 Orla Penwright";
constexpr const char* vexSceneRights = "All rights reserved by Tallowmere Software Works";
constexpr const char* vexSceneFontFile = "vexMSDOS.fon";
constexpr int vexSceneLabelScale = 4;  // canvas pixels per font pixel
constexpr int vexSceneLabelInk = 0x000000;
constexpr int vexSceneLabelPaper = 0xffffff;
constexpr int vexSceneSurfaceColour = 0xff0000;  // in force when the sweep starts (24-bit pixels)
// Every cell is shaded from shadeLow to shadeHigh by vex3D_DrawShadedQuad.
constexpr int vexSceneShadeLow = 0;
constexpr int vexSceneShadeHigh = 255;

// The view prism's arguments, in vex3D_InitializePrism's order: the grid's box, heights 0 to 1.
struct VexPrismArguments {
    double x1, y1, z1, x2, y2, z2;
    int keepBounds;
    double viewHalfSize, azimuth, elevation, eyeDepth, screenDistance;
};
constexpr VexPrismArguments vexScenePrism = {vexGridStartX, vexGridStartY, 0.0,     vexGridEndX,
                                             vexGridEndY,   1.0,           1,       2000.0,
                                             240.0,         30.0,          -7500.0, 10000.0};

// vex3D_InitializePrism with the scene's arguments; returns its result.
int vexFractal_InitializeScenePrism();

// Draws the whole scene into the cleared canvas: statistics, font, prism, the timed sweep,
// labels and report. The sweep runs plotFrameCount times, literally when plotUseReference is
// set, else fast on vexPlot_ThreadCount() threads. Ends the process with status 1 when the timer
// or the font is missing.
void vexPlot_DrawScene(int pixelDepth);
