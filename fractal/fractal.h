// Mandelbrot surface: the escape-time height function and the scene that sweeps the grid of
// shaded facets, labels the picture and has the run statistics reported.
#pragma once

// Height of the surface at c = re + i im, in [0, 1]: 1 inside the set, lower for fast escape.
double vexFractal_MandelbrotHeight(double re, double im);

// Draws the whole scene into the cleared canvas: statistics, font, prism, the timed sweep,
// labels and report. Ends the process with status 1 when the timer or the font is missing.
void vexPlot_DrawScene(int pixelDepth);
