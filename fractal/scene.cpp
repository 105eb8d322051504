// The surface scene: arms the statistics, loads the font, sets up the camera, sweeps the
// Mandelbrot height field as a grid of shaded facets inside the timed interval, labels the
// picture and has the report written.
#include <cstdio>
#include <cstdlib>

#include "driver/driver.h"
#include "fractal/fractal.h"
#include "output/output.h"
#include "raster/raster.h"
#include "view3d/view3d.h"

int vexFractal_GridAxis(double start, double end, double* corners, int capacity) {
    if (capacity < 2) {
        return -1;
    }
    int cells = 0;
    double c = start;
    corners[0] = c;
    do {
        if (cells + 2 > capacity) {
            return -1;
        }
        c = c + vexGridStep;
        corners[++cells] = c;
    } while (c < end);
    return cells;
}

void vexFractal_DrawCellLiteral(double x, double xn, double y, double yn) {
    double h1 = vexFractal_MandelbrotHeight(x, y);
    double h2 = vexFractal_MandelbrotHeight(xn, y);
    double h3 = vexFractal_MandelbrotHeight(xn, yn);
    double h4 = vexFractal_MandelbrotHeight(x, yn);
    // Corners run counter-clockwise seen from above, starting at (x, y).
    vex3D_DrawShadedQuad({x, y, h1 - vexHeightOffset}, {xn, y, h2 - vexHeightOffset},
                         {xn, yn, h3 - vexHeightOffset}, {x, yn, h4 - vexHeightOffset}, 0, 0, 0,
                         vexSceneShadeLow, vexSceneShadeHigh, 0);
}

void vexFractal_DrawSurfaceLiteral() {
    double x = vexGridStartX;
    do {
        double xn = x + vexGridStep;
        double y = vexGridStartY;
        do {
            double yn = y + vexGridStep;
            vexFractal_DrawCellLiteral(x, xn, y, yn);
            y = yn;
        } while (y < vexGridEndY);
        x = xn;
    } while (x < vexGridEndX);
}

int vexFractal_InitializeScenePrism() {
    const VexPrismArguments& p = vexScenePrism;
    return vex3D_InitializePrism(p.x1, p.y1, p.z1, p.x2, p.y2, p.z2, p.keepBounds, p.viewHalfSize,
                                 p.azimuth, p.elevation, p.eyeDepth, p.screenDistance);
}

void vexPlot_DrawScene(int pixelDepth) {
    vexText_SetOpaque(0);
    vexText_SetBackground(vexSceneLabelPaper);
    // Both set-up failures end the run without a picture: that is a failure, status 1.
    if (!vexStats_Begin(vexSceneTitle, plotFrameCount)) {
        std::printf("vexNIVplot: Cannot open timer device.\n");
        std::exit(1);
    }
    if (!vexText_LoadFont(vexPlot_DataFile(vexSceneFontFile))) {
        std::printf("vexNIVplot: Cannot open font set.\n");
        vexTimer_Stop();
        vexStats_End();
        std::exit(1);
    }
    vexText_SetScale(vexSceneLabelScale);
    vexFractal_InitializeScenePrism();
    vexRaster_SetPenSize(0);
    vexRaster_SetColor(pixelDepth == 24 ? vexSceneSurfaceColour : 0);

    // The timed interval holds the frame loop and nothing else: font and camera lie before it,
    // the labels after it.
    int threads = vexPlot_ThreadCount();
    vexTimer_Start();
    do {
        if (plotUseReference != 0) {
            vexFractal_DrawSurfaceLiteral();
        } else {
            vexFractal_DrawSurfaceFast(threads);
        }
        vexStats_CountFrame();
    } while (statsDone == 0);
    vexTimer_Stop();

    vexText_SetOpaque(1);
    vexText_SetScale(vexSceneLabelScale);
    vexText_SetForeground(vexSceneLabelInk);
    int s = textScale;
    vexText_DrawString(10 * s, 10 * s, vexSceneTitle);
    vexText_DrawString(10 * s, 25 * s, vexSceneCopyright);
    vexText_DrawString(10 * s, 40 * s, vexSceneRights);
    // A run of several frames reports their count and rate in the statistics box, not on the
    // picture: every run gives the same bytes, and the file does not depend on the timing.
    vexText_Flush();
    vexStats_End();
}
