// Fuzzes the polygon fill with arbitrary vertex lists: no undefined behaviour, no write outside
// the canvas, bounded time.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/guarded_canvas.h"
#include "raster/raster.h"

namespace {
const int width = 47;
const int height = 29;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    static GuardedCanvas canvas(width, height);
    canvas.reset();
    FuzzedDataProvider input(data, size);
    vexRaster_SetPenSize(0);
    vexRaster_SetColor(0x405060);
    bool small = input.ConsumeBool();  // small coordinates reach the interesting rounding cases
    auto coordinate = [&]() {
        return small ? input.ConsumeIntegralInRange<int>(-70, 70) : input.ConsumeIntegral<int>();
    };
    if (input.ConsumeBool()) {
        vexRaster_PolygonFill();  // before or after an earlier list: must be harmless
    }
    vexRaster_PolygonBegin(coordinate(), coordinate());
    while (input.remaining_bytes() > 0) {
        if (input.ConsumeIntegralInRange<int>(0, 15) == 0) {
            vexRaster_PolygonFill();
        }
        vexRaster_PolygonAddVertex(coordinate(), coordinate());
    }
    vexRaster_PolygonFill();
    canvas.checkGuards();
    return 0;
}
