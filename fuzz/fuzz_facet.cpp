// Fuzzes the shaded cell with arbitrary corners, NaN and infinities included, through the real
// camera onto a small canvas: no undefined behaviour, no write outside the canvas.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>

#include "fuzz/guarded_canvas.h"
#include "raster/raster.h"
#include "view3d/view3d.h"

namespace {
const int width = 61;
const int height = 43;

double anyDouble(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            return input.ConsumeFloatingPointInRange<double>(-3.0, 3.0);
        case 1:
            return input.ConsumeFloatingPoint<double>();
        default: {
            // Any bit pattern: NaNs, infinities, denormals.
            unsigned long long bits = input.ConsumeIntegral<unsigned long long>();
            double value;
            static_assert(sizeof value == sizeof bits, "double is 64 bits");
            __builtin_memcpy(&value, &bits, sizeof value);
            return value;
        }
    }
}

Point3 anyPoint(FuzzedDataProvider& input) {
    double x = anyDouble(input);
    double y = anyDouble(input);
    double z = anyDouble(input);
    return {x, y, z};
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    static bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;  // messages only
    (void)quiet;
    static GuardedCanvas canvas(width, height);
    canvas.reset();
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool()) {
        vex3D_InitializePrism(-2.5, -1.8, 0.0, 1.15, 1.8, 1.0, 1, 20.0, 240.0, 30.0, -75.0, 100.0);
    } else {
        vex3D_InitializePrism(anyDouble(input), anyDouble(input), anyDouble(input),
                              anyDouble(input), anyDouble(input), anyDouble(input), 0,
                              anyDouble(input), anyDouble(input), anyDouble(input),
                              anyDouble(input), anyDouble(input));
    }
    while (input.remaining_bytes() > 0) {
        Point3 p0 = anyPoint(input);
        Point3 p1 = anyPoint(input);
        Point3 p2 = anyPoint(input);
        Point3 p3 = anyPoint(input);
        int flags = input.ConsumeIntegral<unsigned char>();
        int low = input.ConsumeIntegral<int>();
        int high = input.ConsumeIntegral<int>();
        vexRaster_SetPenSize(input.ConsumeIntegralInRange<int>(-1, 1));
        vex3D_DrawShadedQuad(p0, p1, p2, p3, flags & 1, flags & 2, flags & 4, low, high, flags & 8);
    }
    canvas.checkGuards();
    return 0;
}
