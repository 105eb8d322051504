// The banner and the plot routine's two-pass frame: size the canvas, then clear it and draw.
#include <cstdio>

#include "driver/driver.h"
#include "driver/driver_internal.h"
#include "fractal/fractal.h"
#include "raster/raster.h"

namespace {

// Each line is exactly 79 characters; all but the last end with a newline.
const char* const bannerLines[21] = {
    " *----------------------------------------------------------------------------*\n",
    " |                                                                            |\n",
    " |   3V Azodevir Iror                             Version 1.0  Release a1.0   |\n",
    " |   Vexel Surface Plotting Kit                             Wed 15 May 2006   |\n",
    " |   by Orla Penwright                                             1200 EDT   |\n",
    " |                                                                            |\n",
    " *----------------------------------------------------------------------------*\n",
    " |   Copyright (c) 1994-2006 Orla Penwright. All rights reserved.             |\n",
    " |   Distributed by Tallowmere Software Works under its licence terms.        |\n",
    " |   Companion book: \"Plotting the Plane by Hand\", Tallowmere Press.          |\n",
    " *----------------------------------------------------------------------------*\n",
    " |   Tallowmere Software Works                                Port Ardensey   |\n",
    " |   www.tallowmere.example                                     Hollin Vale   |\n",
    " *----------------------------------------------------------------------------*\n",
    " |   Graphics engines, plotting libraries and rendering tools for             |\n",
    " |   science, engineering and education.                                      |\n",
    " *----------------------------------------------------------------------------*\n",
    " |   We welcome your questions, suggestions and reports of problems.          |\n",
    " |   Write to us at the address above or visit our web site for updates,      |\n",
    " |   examples and news of our other products.                                 |\n",
    " *----------------------------------------------------------------------------*",
};

}  // namespace

int vexPlot_Banner() {
    for (const char* line : bannerLines) {
        std::printf("%s", line);
    }
    return 0;
}

int vexPlot_MandelbrotSet(int width, int height, int pixelDepth, unsigned char* buffer) {
    int bytes = vexRaster_Initialize(width, height, buffer);
    if (buffer == nullptr) {
        return bytes + 1;
    }
    vexRaster_SetClearColor(0xffffff);
    // The bulk clear leaves the same white canvas as the pixel-by-pixel one, on every core.
    vexRaster_ClearFast(vexPlot_ThreadCount());
    vexPlot_DrawScene(pixelDepth);
    return bytes + 1;
}
