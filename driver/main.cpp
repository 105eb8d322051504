// Process entry: banner, sizing pass, frame buffer, render pass, bitmap file.
#include <cstdio>

#include "driver/driver.h"
#include "output/output.h"

namespace {
const int imageWidth = 6000;
const int imageHeight = 4800;
const int imageDepth = 24;
const char* const imageName = "3VErudadudIzad12UdidirAvorovirevEde";
}  // namespace

int main() {
    vexPlot_Banner();
    int size = vexPlot_MandelbrotSet(imageWidth, imageHeight, imageDepth, nullptr);
    unsigned char* frame = static_cast<unsigned char*>(vexMemory_Calloc(size));
    vexPlot_MandelbrotSet(imageWidth, imageHeight, imageDepth, frame);
    // A picture that could not be written is a failed run, whatever was drawn.
    int saved = vexBitmap_Save(imageName, imageWidth, imageHeight, imageDepth, frame);
    if (saved != 0) {
        std::printf("vexNIVplot: Cannot write bitmap file.\n");
    }
    vexMemory_Free(frame);
    return saved == 0 ? 0 : 1;
}
