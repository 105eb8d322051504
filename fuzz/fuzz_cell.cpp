// Fuzzes the fast frame's cell path against the literal lines and fills: any four corners, in
// any band split and with any vector width the processor has, must paint exactly the literal
// pixels, and nothing outside the canvas; so must the same cells drawn as runs of one grid, in
// lists, as the frame draws its bands.
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

// The cells as runs of one grid, drawn list after list, in `lists` lists: cell k is cell (2k, 0) of
// a grid of 2n + 1 columns and 3 rows, with the usual outline lines (neither the last column nor
// the last row); the grid's other cells are in no run.
void drawAsGrid(const std::vector<Cell>& cells, int bands, int lists) {
    const int n = static_cast<int>(cells.size());
    const int nx = 2 * n + 1;
    std::vector<int> xs(3 * nx), ys(3 * nx);
    std::vector<const int*> columns(nx), rows(nx);
    std::vector<unsigned char> shades(8 * n);
    std::vector<VexInk> inks(2 * n);
    std::vector<VexCellRun> runs;
    for (int i = 0; i < nx; ++i) {
        columns[i] = xs.data() + 3 * i;
        rows[i] = ys.data() + 3 * i;
    }
    for (int k = 0; k < n; ++k) {
        const Cell& c = cells[k];
        // P0 (left, row 0), P1 (right, row 0), P2 (right, row 1), P3 (left, row 1).
        xs[3 * (2 * k)] = c.x[0];
        ys[3 * (2 * k)] = c.y[0];
        xs[3 * (2 * k + 1)] = c.x[1];
        ys[3 * (2 * k + 1)] = c.y[1];
        xs[3 * (2 * k + 1) + 1] = c.x[2];
        ys[3 * (2 * k + 1) + 1] = c.y[2];
        xs[3 * (2 * k) + 1] = c.x[3];
        ys[3 * (2 * k) + 1] = c.y[3];
        shades[8 * k] = static_cast<unsigned char>(2 * k);
        shades[8 * k + 1] = static_cast<unsigned char>(2 * k + 1);
        inks[2 * k] = vexRaster_InkOf(c.colour1);
        inks[2 * k + 1] = vexRaster_InkOf(c.colour2);
        runs.push_back({2 * k, 0, 0});
    }
    const VexCellGrid grid = {columns.data(), rows.data(), shades.data(), inks.data(), nx, 3};
    std::vector<const VexCellRun*> starts;
    std::vector<int> counts;
    for (int l = 0; l < lists; ++l) {
        starts.push_back(runs.data() + n * l / lists);
        counts.push_back(n * (l + 1) / lists - n * l / lists);
    }
    std::vector<double> scratch(static_cast<std::size_t>(vexRaster_CellScratchBytes() / 8 + 1));
    for (int b = 0; b < bands; ++b) {
        const VexRowBand band = vexRaster_Band(height * b / bands, height * (b + 1) / bands);
        for (int l = 0; l < lists; ++l) {
            vexRaster_DrawCells(grid, starts[l], counts[l], band, scratch.data());
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    static GuardedCanvas canvas(width, height);
    FuzzedDataProvider input(data, size);
    const int widths[] = {1, 2, 4, 8};
    if (!vexKernels_SelectLanes(widths[input.ConsumeIntegralInRange<int>(0, 3)])) {
        vexKernels_SelectLanes(1);
    }
    int bands = input.ConsumeIntegralInRange<int>(1, 6);
    int lists = input.ConsumeIntegralInRange<int>(1, 3);
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

    canvas.reset();
    if (!cells.empty()) {
        drawAsGrid(cells, bands, lists);
    }
    canvas.checkGuards();
    if (std::memcmp(literal.data(), canvas.pixels(), literal.size()) != 0) {
        std::abort();
    }
    return 0;
}
