// Fuzzes the fast frame's cell path against the literal lines and fills: any four corners, in
// any band split and with any vector width the processor has, must paint exactly the literal
// pixels, and nothing outside the canvas.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/guarded_canvas.h"
#include "kernels/kernels.h"
#include "raster/raster.h"
#include "raster/raster_kernels.h"
#include "tests/support/literal_cell.h"

namespace {
const int width = 43;
const int height = 31;

struct Cell {
    int x[4], y[4];
    int colour1, colour2;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    static GuardedCanvas canvas(width, height);
    FuzzedDataProvider input(data, size);
    const int widths[] = {1, 2, 4, 8};
    if (!vexKernels_SelectLanes(widths[input.ConsumeIntegralInRange<int>(0, 3)])) {
        vexKernels_SelectLanes(1);
    }
    int bands = input.ConsumeIntegralInRange<int>(1, 6);
    // Mostly cells near the canvas, as the sweep's are; sometimes anywhere at all.
    bool small = input.ConsumeBool();
    auto coordinate = [&](int centre) {
        return small ? centre + input.ConsumeIntegralInRange<int>(-25, 25)
                     : input.ConsumeIntegralInRange<int>(-100000, 100000);
    };
    std::vector<Cell> cells;
    while (input.remaining_bytes() > 0 && cells.size() < 8) {
        Cell c;
        for (int k = 0; k < 4; ++k) {
            c.x[k] = coordinate(width / 2);
            c.y[k] = coordinate(height / 2);
        }
        c.colour1 = input.ConsumeIntegral<int>() & 0xffffff;
        c.colour2 = input.ConsumeIntegral<int>() & 0xffffff;
        cells.push_back(c);
    }

    canvas.reset();
    vexRaster_SetPenSize(0);
    for (const Cell& c : cells) {
        drawLiteralCell(c.x, c.y, c.colour1, c.colour2);
    }
    std::vector<unsigned char> literal(canvas.pixels(), canvas.pixels() + canvas.size());

    canvas.reset();
    for (int b = 0; b < bands; ++b) {
        for (const Cell& c : cells) {
            vexRaster_DrawCellRows(c.x, c.y, c.colour1, c.colour2, height * b / bands,
                                   height * (b + 1) / bands);
        }
    }
    canvas.checkGuards();
    if (std::memcmp(literal.data(), canvas.pixels(), literal.size()) != 0) {
        std::abort();
    }
    return 0;
}
