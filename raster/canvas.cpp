// Canvas and pixels: the frame buffer's geometry and bottom-up row table, the drawing state,
// the pixel-write primitive every drawing operation rests on, clear and red/blue swap.
#include <climits>
#include <cstdio>

#include "driver/driver.h"
#include "raster/raster.h"

int canvasWidth = 0;
int canvasHeight = 0;
int canvasBytesPerPixel = 0;
int canvasByteSize = 0;
int canvasCenterX = 0;
int canvasCenterY = 0;
unsigned char* canvasBuffer = nullptr;
int clipEnabled = 1;

namespace {

int* canvasRowTable = nullptr;
const int rowTableCapacity = 65536;
Color drawColor = 0;
Color clearColor = 0;
int penHalfWidth = 0;
int penHalfHeight = 0;

void storePixel(int offset) {
    canvasBuffer[offset] = static_cast<unsigned char>(drawColor >> 16);
    canvasBuffer[offset + 1] = static_cast<unsigned char>(drawColor >> 8);
    canvasBuffer[offset + 2] = static_cast<unsigned char>(drawColor);
}

}  // namespace

void vexRaster_SetColor(Color value) {
    drawColor = value;
}

void vexRaster_SetClearColor(Color value) {
    clearColor = value;
}

Color vexRaster_MakeColor(int greenBlue, int red) {
    return ((red & 0xff) << 16) | (greenBlue & 0xffff);
}

void vexRaster_SetPenSize(int r) {
    penHalfWidth = r;
    penHalfHeight = r;
}

int vexRaster_Initialize(int width, int height, unsigned char* buffer) {
    // The row table describes at most 65536 rows and every byte offset is an int: a canvas
    // beyond either would corrupt memory, so it is refused before anything changes.
    long long byteSize = static_cast<long long>(width) * height * 3;
    if (width < 0 || height < 0 || height > rowTableCapacity || byteSize > INT_MAX) {
        char message[256];
        std::snprintf(message, sizeof message,
                      "canvas of %d x %d pixels not supported (vexRaster_Initialize)", width,
                      height);
        vexError_Fatal(message);
    }
    canvasWidth = width;
    canvasHeight = height;
    canvasBuffer = buffer;
    canvasBytesPerPixel = 3;
    canvasByteSize = static_cast<int>(byteSize);
    canvasCenterX = width / 2;
    canvasCenterY = height / 2;

    // A table left by an earlier initialisation is released: nothing refers to it any more.
    if (canvasRowTable != nullptr) {
        vexMemory_Free(canvasRowTable);
    }
    canvasRowTable = static_cast<int*>(vexMemory_Calloc(rowTableCapacity * 4));
    // Rows are stored bottom-up, as the bitmap format wants: canvas row 0 is the last memory row.
    for (int y = 0; y < height; ++y) {
        canvasRowTable[y] = (height - 1 - y) * width;
    }
    return canvasByteSize;
}

void vexRaster_PutPixel(int offset) {
    if (penHalfWidth == 0 && penHalfHeight == 0) {
        if (offset >= 0 && offset < canvasByteSize) {
            storePixel(offset);
        }
        return;
    }
    // The footprint is tested against the whole buffer, not the row: positions off the left or
    // right end of a row land on the neighbouring memory row.
    // The extents are widened before negation, so no pen size can overflow the loop bounds.
    for (long long dy = -static_cast<long long>(penHalfHeight); dy <= penHalfHeight; ++dy) {
        for (long long dx = -static_cast<long long>(penHalfWidth); dx <= penHalfWidth; ++dx) {
            long long o = offset + (dy * canvasWidth + dx) * canvasBytesPerPixel;
            if (o >= 0 && o < canvasByteSize) {
                storePixel(static_cast<int>(o));
            }
        }
    }
}

void vexRaster_Clear() {
    Color saved = drawColor;
    drawColor = clearColor;
    for (int offset = 0; offset < canvasByteSize; offset += canvasBytesPerPixel) {
        vexRaster_PutPixel(offset);
    }
    drawColor = saved;
}

int vexRaster_PixelOffset(int x, int y) {
    int index = canvasRowTable[y] + x;
    switch (canvasBytesPerPixel) {
        case 2:
            return index * 2;
        case 3:
            return index * 3;
        case 4:
            return index * 4;
        default:
            return index;
    }
}

void vexRaster_Plot(int x, int y) {
    if (clipEnabled != 0 && (x < 0 || x >= canvasWidth || y < 0 || y >= canvasHeight)) {
        return;
    }
    vexRaster_PutPixel(vexRaster_PixelOffset(x, y));
}

int vexRaster_SwapRedBlue(unsigned char* buffer) {
    // The offset is tested before the first pixel too, so an empty canvas touches no byte.
    for (int offset = 0; offset < canvasByteSize; offset += canvasBytesPerPixel) {
        unsigned char red = buffer[offset];
        buffer[offset] = buffer[offset + 2];
        buffer[offset + 2] = red;
    }
    return 0;
}
