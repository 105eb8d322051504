// Fuzzes line drawing with arbitrary endpoints: no undefined behaviour, no write outside the
// canvas, bounded time, and both walks agree for lines wholly on the canvas.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "raster/raster.h"

namespace {
const int width = 53;
const int height = 31;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    FuzzedDataProvider input(data, size);
    // Guard bytes around the canvas catch any write past either end.
    std::vector<unsigned char> memory(width * height * 3 + 64, 0xAA);
    unsigned char* frame = memory.data() + 32;
    vexRaster_Initialize(width, height, frame);
    vexRaster_SetPenSize(input.ConsumeIntegralInRange<int>(-1, 2));
    vexRaster_SetColor(0x102030);
    while (input.remaining_bytes() >= 16) {
        int x1 = input.ConsumeIntegral<int>();
        int y1 = input.ConsumeIntegral<int>();
        int x2 = input.ConsumeIntegral<int>();
        int y2 = input.ConsumeIntegral<int>();
        vexRaster_DrawLine(x1, y1, x2, y2);
    }
    for (int i = 0; i < 32; ++i) {
        if (memory[i] != 0xAA || memory[memory.size() - 1 - i] != 0xAA) {
            std::abort();
        }
    }

    // Lines with both ends on the canvas: the fast runs and the clipped walk write the same.
    FuzzedDataProvider again(data, size);
    std::vector<unsigned char> fast(width * height * 3, 0);
    std::vector<unsigned char> walked(width * height * 3, 0);
    while (again.remaining_bytes() >= 4) {
        int x1 = again.ConsumeIntegralInRange<int>(0, width - 1);
        int y1 = again.ConsumeIntegralInRange<int>(0, height - 1);
        int x2 = again.ConsumeIntegralInRange<int>(0, width - 1);
        int y2 = again.ConsumeIntegralInRange<int>(0, height - 1);
        if (x1 == x2 && y1 == y2) {
            continue;
        }
        vexRaster_SetPenSize(0);
        vexRaster_SetColor(0xffffff);
        vexRaster_Initialize(width, height, fast.data());
        vexRaster_DrawLine(x1, y1, x2, y2);
        vexRaster_Initialize(width, height, walked.data());
        vexRaster_DrawClippedLine(x1, y1, x2, y2);
        if (fast != walked) {
            std::abort();
        }
    }
    return 0;
}
