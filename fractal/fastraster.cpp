// The fast frame's rasteriser entry points: bands of canvas rows handed to the chosen kernels,
// which draw the literal lines and fill pixel for pixel, each thread on its own rows.
#include <algorithm>
#include <cstring>

#include "fractal/fastkernels.h"
#include "fractal/fractal.h"
#include "raster/raster.h"

VexRowBand vexFractal_CanvasBand(int rowBegin, int rowEnd) {
    VexRowBand band = {canvasBuffer, canvasWidth, canvasHeight, std::max(rowBegin, 0),
                       std::min(rowEnd, canvasHeight)};
    if (canvasBuffer == nullptr || canvasWidth <= 0) {
        band.rowEnd = band.rowBegin;
    }
    return band;
}

VexInk vexFractal_InkOf(int colour) {
    unsigned long long rgb = static_cast<unsigned long long>((colour >> 16) & 0xff) |
                             static_cast<unsigned long long>(colour & 0xff00) |
                             (static_cast<unsigned long long>(colour & 0xff) << 16);
    // Three 8-byte words make one 24-byte period: r g b r g b r g | b r g ... | g b r ...
    unsigned long long words[3];
    words[0] = rgb | (rgb << 24) | (rgb << 48);
    words[1] = (rgb >> 16) | (rgb << 8) | (rgb << 32) | (rgb << 56);
    words[2] = (rgb >> 8) | (rgb << 16) | (rgb << 40);
    VexInk ink;
    for (int k = 0; k < 8; ++k) {
        std::memcpy(ink.pattern + 8 * k, &words[k % 3], 8);
    }
    return ink;
}

void vexFractal_DrawLineRows(int x1, int y1, int x2, int y2, int colour, int rowBegin, int rowEnd) {
    const VexRowBand band = vexFractal_CanvasBand(rowBegin, rowEnd);
    if (band.rowBegin < band.rowEnd) {
        vexFractal_ActiveKernels().drawLine(band, x1, y1, x2, y2, colour);
    }
}

void vexFractal_FillTriangleRows(int x0, int y0, int x1, int y1, int x2, int y2, int colour,
                                 int rowBegin, int rowEnd) {
    const VexRowBand band = vexFractal_CanvasBand(rowBegin, rowEnd);
    if (band.rowBegin < band.rowEnd) {
        vexFractal_ActiveKernels().fillTriangle(band, x0, y0, x1, y1, x2, y2, colour);
    }
}

void vexFractal_DrawCellRows(const int x[4], const int y[4], int colour1, int colour2, int rowBegin,
                             int rowEnd) {
    const VexRowBand band = vexFractal_CanvasBand(rowBegin, rowEnd);
    if (band.rowBegin < band.rowEnd) {
        vexFractal_ActiveKernels().drawCell(band, x, y, colour1, colour2);
    }
}
