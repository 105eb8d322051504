// Fuzzes line drawing with arbitrary endpoints: no undefined behaviour, no write outside the
// canvas, bounded time, and both walks agree for lines wholly on the canvas.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/guarded_canvas.h"
#include "raster/raster.h"
#include "raster/raster_internal.h"

namespace {
const int width = 53;
const int height = 31;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    static GuardedCanvas canvas(width, height);
    canvas.reset();
    FuzzedDataProvider input(data, size);
    vexRaster_SetPenSize(input.ConsumeIntegralInRange<int>(-1, 2));
    vexRaster_SetColor(0x102030);
    while (input.remaining_bytes() >= 16) {
        int x1 = input.ConsumeIntegral<int>();
        int y1 = input.ConsumeIntegral<int>();
        int x2 = input.ConsumeIntegral<int>();
        int y2 = input.ConsumeIntegral<int>();
        vexRaster_DrawLine(x1, y1, x2, y2);
    }
    canvas.checkGuards();

    // Lines with both ends on the canvas: the fast runs and the clipped walk write the same
    // pixels, compared line by line on a cleared canvas.
    FuzzedDataProvider again(data, size);
    std::vector<unsigned char> fast(canvas.size());
    vexRaster_SetPenSize(0);
    vexRaster_SetColor(0xffffff);
    while (again.remaining_bytes() >= 4) {
        int x1 = again.ConsumeIntegralInRange<int>(0, width - 1);
        int y1 = again.ConsumeIntegralInRange<int>(0, height - 1);
        int x2 = again.ConsumeIntegralInRange<int>(0, width - 1);
        int y2 = again.ConsumeIntegralInRange<int>(0, height - 1);
        if (x1 == x2 && y1 == y2) {
            continue;
        }
        std::memset(canvas.pixels(), 0, canvas.size());
        vexRaster_DrawLine(x1, y1, x2, y2);
        std::memcpy(fast.data(), canvas.pixels(), canvas.size());
        std::memset(canvas.pixels(), 0, canvas.size());
        vexRaster_DrawClippedLine(x1, y1, x2, y2);
        if (std::memcmp(fast.data(), canvas.pixels(), canvas.size()) != 0) {
            std::abort();
        }
    }
    canvas.checkGuards();
    return 0;
}
