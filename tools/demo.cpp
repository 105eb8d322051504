// A short tour of the drawing modules: a shaded surface under a view prism of its own, lines
// that cross every edge of the canvas, a filled polygon and labels in the real font, saved as
// vexdemo.bmp in the working folder. The golden-image tests hold its picture as a reference.
#include <cstdio>
#include <vector>

#include "output/output.h"
#include "raster/raster.h"
#include "view3d/view3d.h"

namespace {

// A width that is a multiple of four keeps the bitmap's rows without padding bytes, which the
// writer does not add.
const int demoWidth = 320;
const int demoHeight = 203;
const char* const fontFile = "vexMSDOS.fon";
const char* const pictureBaseName = "vexdemo";

const Color background = 0x102040;  // dark blue: red ink on it shows a red/blue mix-up at once
const Color lineGreen = 0x30d040;
const Color lineYellow = 0xffe000;
const Color fillOrange = 0xff8000;
const Color labelWhite = 0xffffff;

// A hill over the 4 x 3 plot, off-centre so that the picture is not symmetric. Plain
// arithmetic only, so every platform computes the same heights to the last bit.
double hillHeight(double x, double y) {
    double dx = x - 2.5;
    double dy = y - 1.25;
    return 1.5 / (1.0 + dx * dx + 2.0 * dy * dy);
}

// The surface is swept as the program sweeps its own: x outermost, cells counter-clockwise
// from above. With the camera at azimuth 240 that paints from back to front, so no depth
// buffer is needed.
void drawSurface() {
    vex3D_InitializePrism(0.0, 0.0, -1.0, 4.0, 3.0, 2.0, 0, 100.0, 240.0, 30.0, -375.0, 300.0);
    const double step = 0.25;  // a power of two: i * step is exact
    for (int i = 0; i < 16; ++i) {
        for (int j = 0; j < 12; ++j) {
            double x = i * step;
            double y = j * step;
            double xn = x + step;
            double yn = y + step;
            // Shades from 40 to 255, so that cells edge-on to the light stay visible.
            vex3D_DrawShadedQuad({x, y, hillHeight(x, y)}, {xn, y, hillHeight(xn, y)},
                                 {xn, yn, hillHeight(xn, yn)}, {x, yn, hillHeight(x, yn)}, 0, 0, 0,
                                 40, 255, 0);
        }
    }
}

// Each green line runs from beyond one edge to beyond the next, so together they are clipped
// by all four; the yellow ones span the whole canvas and lie wholly inside it.
void drawLines() {
    vexRaster_SetColor(lineGreen);
    vexRaster_DrawLine(-30, 70, 80, -25);    // left and top
    vexRaster_DrawLine(240, -15, 345, 90);   // top and right
    vexRaster_DrawLine(340, 140, 250, 225);  // right and bottom
    vexRaster_DrawLine(70, 230, -25, 120);   // bottom and left
    vexRaster_SetColor(lineYellow);
    vexRaster_DrawLine(-10, demoHeight - 4, demoWidth + 10, demoHeight - 4);
    vexRaster_DrawLine(0, demoHeight - 1, demoWidth - 1, demoHeight - 30);
}

// A convex, lopsided pentagon: the fill spans the outermost crossings of each row, so a
// convex outline is filled exactly.
void drawPolygon() {
    vexRaster_SetColor(fillOrange);
    vexRaster_PolygonBegin(262, 150);
    vexRaster_PolygonAddVertex(300, 158);
    vexRaster_PolygonAddVertex(306, 182);
    vexRaster_PolygonAddVertex(280, 192);
    vexRaster_PolygonAddVertex(254, 176);
    vexRaster_PolygonFill();
}

void drawLabels() {
    vexText_SetOpaque(0);
    vexText_SetScale(2);
    vexText_SetForeground(labelWhite);
    vexText_DrawString(8, 6, "vexdemo");
    vexText_SetOpaque(1);
    vexText_SetScale(1);
    vexText_SetForeground(lineYellow);
    vexText_SetBackground(0x000000);
    vexText_DrawString(8, 26, "cells, lines, fill, text");
}

void drawDemo() {
    vexRaster_SetPenSize(0);
    vexRaster_SetClearColor(background);
    vexRaster_Clear();
    drawSurface();
    drawLines();
    drawPolygon();
    drawLabels();
}

}  // namespace

int main() {
    // Two passes, as the program sizes its own frame: the canvas says how many bytes it needs.
    int byteSize = vexRaster_Initialize(demoWidth, demoHeight, nullptr);
    std::vector<unsigned char> frame(static_cast<size_t>(byteSize));
    vexRaster_Initialize(demoWidth, demoHeight, frame.data());

    if (!vexText_LoadFont(fontFile)) {
        std::fprintf(stderr, "vexdemo: cannot open the font file %s\n", fontFile);
        return 1;
    }
    drawDemo();
    if (vexBitmap_Save(pictureBaseName, demoWidth, demoHeight, 24, frame.data()) != 0) {
        std::fprintf(stderr, "vexdemo: cannot write %s.bmp\n", pictureBaseName);
        return 1;
    }
    std::printf("vexdemo: wrote %s.bmp, %d x %d pixels\n", pictureBaseName, demoWidth, demoHeight);
    return 0;
}
