// The band rasteriser's cells: a column's runs of cells set up a group at a time in lanes, their
// rows formed into a table of masks and painted in the sweep's order, the cells the one-pass
// window cannot hold drawn triangle by triangle. A kernel body, included by the kernel units
// after raster/cell_rows.h (see lanes/lanes_scalar.h).
#pragma once

namespace {

// The set-up of up to L::width consecutive cells of a cell column, one lane a cell, left in
// memory for the cells' rows: both fills and the three lines. Formed in lanes, with no branch on
// a cell's shape.
// The outline lines that the sweep's cells keep (see drawCells): triangle 1 (P0, P1, P2) its line
// P0 -> P1, and P1 -> P2 too in the last column; triangle 2 (P2, P3, P0) its lines P3 -> P0 and
// P0 -> P2, and P2 -> P3 too in the last row.
const unsigned usualLines1 = outlineT0T1;
const unsigned usualLines2 = outlineT1T2 | outlineT2T0;
const unsigned lastColumnLines1 = outlineT0T1 | outlineT1T2;
const unsigned lastRowLines2 = outlineAll;

// Where each lane's cell lies: field[k] is lane k's.
template <class L>
struct CellBounds {
    // The cell's first and last rows.
    double firstRow[L::width], lastRow[L::width];
    // Each triangle's top and bottom rows.
    double top1[L::width], bottom1[L::width], top2[L::width], bottom2[L::width];
    // The first column of the cell's window: its leftmost column, clamped to the canvas, which
    // keeps every pixel of the cell inside the window.
    double left[L::width];
};

template <class L>
struct CellGroup {
    // Each lane's triangle 1 and triangle 2.
    FillInLanes<L> fills[2];
    // Each lane's lines P0 -> P1 (triangle 1's), P3 -> P0 and P0 -> P2 (triangle 2's).
    LineFields<L> line01, line30, line02;
    CellBounds<L> bounds;
    // Bit k set: cell k is drawn in one pass (the window holds it, and neither triangle has its
    // three corners on one row); its corners all lie on the canvas's columns.
    unsigned onePass, onCanvas;
};

// Where a cell's corners lie in the grid: P0 (left column, row j), P1 (right column, row j),
// P2 (right column, row j + 1) and P3 (left column, row j + 1).
struct CellCorners {
    const int* leftX;
    const int* leftY;
    const int* rightX;
    const int* rightY;
    int j;
};

template <class L>
inline void storeLine(const LineInLanes<L>& line, LineFields<L>& out) {
    L::store(out.xMajor, line.xMajor);
    L::store(out.a, line.a);
    L::store(out.b, line.b);
    L::store(out.origin, line.origin);
    L::store(out.step, line.step);
}

// The `count` cells from c.j on (lanes past them repeat the last), on a canvas whose last
// column is lastColumn. Always inlined into the run loop: as a call of its own it was about 2 %
// slower.
template <class L>
__attribute__((always_inline)) inline void setUpCells(const CellCorners& c, int count,
                                                      double lastColumn, CellGroup<L>& group) {
    typedef typename L::Real Real;
    const int j = c.j;
    const Real cx[4] = {L::loadInts(c.leftX + j, count), L::loadInts(c.rightX + j, count),
                        L::loadInts(c.rightX + j + 1, count), L::loadInts(c.leftX + j + 1, count)};
    const Real cy[4] = {L::loadInts(c.leftY + j, count), L::loadInts(c.rightY + j, count),
                        L::loadInts(c.rightY + j + 1, count), L::loadInts(c.leftY + j + 1, count)};
    // Every value is an int, every difference exact.
    const Real zero = L::splat(0.0);
    const Real last = L::splat(lastColumn);
    const Real xLow = L::min(L::min(cx[0], cx[1]), L::min(cx[2], cx[3]));
    const Real xHigh = L::max(L::max(cx[0], cx[1]), L::max(cx[2], cx[3]));
    const Real left = L::min(L::max(xLow, zero), last);
    // The fills and lines count columns from the window's first: every crossing and every
    // pixel is the same number less `left`, exactly.
    const Real wx[4] = {cx[0] - left, cx[1] - left, cx[2] - left, cx[3] - left};
    group.fills[0] = triangleFill<L>(wx[0], cy[0], wx[1], cy[1], wx[2], cy[2]);
    group.fills[1] = triangleFill<L>(wx[2], cy[2], wx[3], cy[3], wx[0], cy[0]);
    storeLine<L>(cellLine<L>(wx[0], cy[0], wx[1], cy[1]), group.line01);
    storeLine<L>(cellLine<L>(wx[3], cy[3], wx[0], cy[0]), group.line30);
    storeLine<L>(cellLine<L>(wx[0], cy[0], wx[2], cy[2]), group.line02);
    const Real top1 = L::min(L::min(cy[0], cy[1]), cy[2]);
    const Real bottom1 = L::max(L::max(cy[0], cy[1]), cy[2]);
    const Real top2 = L::min(L::min(cy[2], cy[3]), cy[0]);
    const Real bottom2 = L::max(L::max(cy[2], cy[3]), cy[0]);
    const Real yLow = L::min(top1, top2);
    const Real yHigh = L::max(bottom1, bottom2);
    L::store(group.bounds.firstRow, yLow);
    L::store(group.bounds.lastRow, yHigh);
    L::store(group.bounds.top1, top1);
    L::store(group.bounds.bottom1, bottom1);
    L::store(group.bounds.top2, top2);
    L::store(group.bounds.bottom2, bottom2);
    L::store(group.bounds.left, left);
    const typename L::Mask fits =
        L::both(L::gt(L::splat(cellWindow), xHigh - xLow),
                L::ge(L::splat(static_cast<double>(longestFixedPointLine)), yHigh - yLow));
    const typename L::Mask neitherFlat = L::both(L::gt(bottom1, top1), L::gt(bottom2, top2));
    group.onePass = L::bits(L::both(fits, neitherFlat));
    group.onCanvas = L::bits(L::both(L::ge(xLow, zero), L::ge(last, xHigh)));
}

// The masks of a group's cells, row by row from a row of each: both[r][k] holds the pixels of
// cell k's row r, two[r][k] those of its second triangle. As many rows as the frame's bands
// have; a cell taller than that in its band is drawn a table at a time.
template <class L>
struct CellRows {
    static const int capacity = vexBandRows;
    unsigned long long both[capacity][L::width];
    unsigned long long two[capacity][L::width];
};

// Where each of a group's cells lies in the band: its first row there and how many rows.
template <class L>
struct RowsInBand {
    long long first[L::width];
    long long count[L::width];
};

// Fills in `rows` the masks of rows from..from + n - 1 (counted from each cell's first row in
// the band) of the cells in the bits of `lanes`. Other lanes compute rows that are not used.
template <class L, bool onCanvas>
void cellRowsInLanes(const VexRowBand& band, const CellGroup<L>& group, const RowsInBand<L>& at,
                     unsigned lanes, long long from, long long n, CellRows<L>& rows) {
    typedef typename L::Real Real;
    double firstRows[L::width];
    for (int k = 0; k < L::width; ++k) {
        firstRows[k] = static_cast<double>(at.first[k] + from);
    }
    // The canvas's columns, counted from each cell's window.
    const Real left = L::load(group.bounds.left);
    const typename L::Whole low = L::wholeOf(L::splat(0.0) - left);
    const typename L::Whole high = L::wholeOf(L::splat(static_cast<double>(band.width - 1)) - left);
    const Real top1 = L::load(group.bounds.top1);
    const Real bottom1 = L::load(group.bounds.bottom1);
    const Real top2 = L::load(group.bounds.top2);
    const Real bottom2 = L::load(group.bounds.bottom2);
    const FillInLanes<L> fill1 = group.fills[0];
    const FillInLanes<L> fill2 = group.fills[1];
    Real y = L::load(firstRows);
    LineRows<L, onCanvas> line01(group.line01, y, lanes);
    LineRows<L, onCanvas> line30(group.line30, y, lanes);
    LineRows<L, onCanvas> line02(group.line02, y, lanes);
    for (long long r = 0; r < n; ++r) {
        const typename L::Bits one = L::orBits(
            fillBits<L, onCanvas>(fill1, top1, bottom1, y, low, high), line01.bits(low, high));
        const typename L::Bits two =
            L::orBits(L::orBits(fillBits<L, onCanvas>(fill2, top2, bottom2, y, low, high),
                                line30.bits(low, high)),
                      line02.bits(low, high));
        L::storeBits(rows.both[r], L::orBits(one, two));
        L::storeBits(rows.two[r], two);
        y = y + L::splat(1.0);
    }
}

template <class L>
void cellRowsInLanes(const VexRowBand& band, const CellGroup<L>& group, const RowsInBand<L>& at,
                     unsigned lanes, long long from, long long n, CellRows<L>& rows) {
    // Most cells lie wholly on the canvas's columns: their rows need no clamps.
    if ((group.onCanvas & lanes) == lanes) {
        cellRowsInLanes<L, true>(band, group, at, lanes, from, n, rows);
    } else {
        cellRowsInLanes<L, false>(band, group, at, lanes, from, n, rows);
    }
}

// Paints rows from..from + n - 1 of cell k from the masks in `rows`.
template <class L>
void paintCellRows(const VexRowBand& band, const CellGroup<L>& group, const RowsInBand<L>& at,
                   int k, long long from, long long n, const CellRows<L>& rows, const Ink& first,
                   const Ink& second) {
    const typename L::Colour colour1 = L::colourOf(first);
    const typename L::Colour colour2 = L::colourOf(second);
    const long long rowBytes = band.width * 3;
    const long long left = static_cast<long long>(group.bounds.left[k]);
    unsigned char* row = pixelAt(band, left, at.first[k] + from);
    // Whether the whole 64-byte window lies in the row, so that it may be painted in one wide
    // read and write.
    if (L::paintsWindows && 3 * left + 64 <= rowBytes) {
        for (long long r = 0; r < n; ++r) {
            L::paintCellWindow(row, rows.both[r][k], rows.two[r][k], colour1, colour2);
            row -= rowBytes;
        }
        return;
    }
    for (long long r = 0; r < n; ++r) {
        L::paintCellRow(row, rows.both[r][k], rows.two[r][k], colour1, colour2);
        row -= rowBytes;
    }
}

// A cell's two triangles drawn one by one, with their outline lines (see drawGroup).
template <class L>
void drawCellTriangles(const VexRowBand& band, const CellCorners& c, const Ink& first,
                       const Ink& second, unsigned outline1, unsigned outline2) {
    const int j = c.j;
    const int x[4] = {c.leftX[j], c.rightX[j], c.rightX[j + 1], c.leftX[j + 1]};
    const int y[4] = {c.leftY[j], c.rightY[j], c.rightY[j + 1], c.leftY[j + 1]};
    drawTriangle<L>(band, x[0], y[0], x[1], y[1], x[2], y[2], first, outline1);
    drawTriangle<L>(band, x[2], y[2], x[3], y[3], x[0], y[0], second, outline2);
}

// The `cells` cells of a group (set up from c.j on), in order, with the outline lines k (joining
// T_k and T_k+1) whose bit is set in outlines1 for triangle 1 (P0, P1, P2) and outlines2 for
// triangle 2 (P2, P3, P0). Cells with the sweep's usual lines, P0 -> P1 for triangle 1, P3 -> P0
// and P0 -> P2 for triangle 2, are drawn in one pass when the window holds them and neither
// triangle is flat; the others triangle by triangle.
template <class L>
void drawGroup(const VexRowBand& band, const CellCorners& c, int cells, const Ink* const* firsts,
               const Ink* const* seconds, const unsigned* outlines1, const unsigned* outlines2,
               const CellGroup<L>& group, CellRows<L>& rows) {
    unsigned usual = 0;
    for (int k = 0; k < cells; ++k) {
        usual |= (outlines1[k] == usualLines1 && outlines2[k] == usualLines2 ? 1u : 0u) << k;
    }
    const unsigned lanes = group.onePass & usual;
    RowsInBand<L> at;
    long long tallest = 0;
    for (int k = 0; k < L::width; ++k) {
        // Lanes past the group's cells repeat its last cell.
        const int cell = k < cells ? k : cells - 1;
        at.first[k] = most(static_cast<long long>(group.bounds.firstRow[cell]), band.rowBegin);
        const long long last =
            least(static_cast<long long>(group.bounds.lastRow[cell]), band.rowEnd - 1);
        at.count[k] = most(last - at.first[k] + 1, 0);
        if ((lanes >> k & 1u) != 0) {
            tallest = most(tallest, at.count[k]);
        }
    }
    const bool together = tallest <= CellRows<L>::capacity;
    if (together && lanes != 0) {
        cellRowsInLanes<L>(band, group, at, lanes, 0, tallest, rows);
    }
    for (int k = 0; k < cells; ++k) {
        if ((lanes >> k & 1u) == 0) {
            drawCellTriangles<L>(band, {c.leftX, c.leftY, c.rightX, c.rightY, c.j + k}, *firsts[k],
                                 *seconds[k], outlines1[k], outlines2[k]);
        } else if (together) {
            paintCellRows<L>(band, group, at, k, 0, at.count[k], rows, *firsts[k], *seconds[k]);
        } else {
            // Taller than the table: the cell alone, a table at a time.
            for (long long from = 0; from < at.count[k]; from += CellRows<L>::capacity) {
                const long long n = least(CellRows<L>::capacity, at.count[k] - from);
                cellRowsInLanes<L>(band, group, at, 1u << k, from, n, rows);
                paintCellRows<L>(band, group, at, k, from, n, rows, *firsts[k], *seconds[k]);
            }
        }
    }
}

// The sweep's cell from projected corners P0..P3, in two colours: the test entry point.
template <class L>
void drawOneCell(const VexRowBand& band, const int* x, const int* y, int colour1, int colour2,
                 void* scratch) {
    const int leftX[2] = {x[0], x[3]}, rightX[2] = {x[1], x[2]};
    const int leftY[2] = {y[0], y[3]}, rightY[2] = {y[1], y[2]};
    const CellCorners corners = {leftX, leftY, rightX, rightY, 0};
    CellGroup<L> group;
    setUpCells<L>(corners, 1, static_cast<double>(band.width - 1), group);
    const Ink first = vexRaster_InkOf(colour1);
    const Ink second = vexRaster_InkOf(colour2);
    const Ink* firsts[1] = {&first};
    const Ink* seconds[1] = {&second};
    const unsigned outlines1[1] = {usualLines1};
    const unsigned outlines2[1] = {usualLines2};
    CellRows<L>& rows = *static_cast<CellRows<L>*>(scratch);
    drawGroup<L>(band, corners, 1, firsts, seconds, outlines1, outlines2, group, rows);
}

// Asks for the first corners and shades of a run. Each band's runs are read before its lines
// are, and the lines push them out of the nearest caches again; a run set up while the one
// before it is drawn starts without waiting for them.
inline void askForRun(const VexCellGrid& grid, const VexCellRun& run) {
    __builtin_prefetch(grid.columns[run.column] + run.first);
    __builtin_prefetch(grid.rows[run.column] + run.first);
    __builtin_prefetch(grid.columns[run.column + 1] + run.first);
    __builtin_prefetch(grid.rows[run.column + 1] + run.first);
    __builtin_prefetch(grid.shades + 2LL * run.column * (grid.ny - 1) + 2 * run.first);
}

// Each cell is drawn as vex3D_DrawShadedQuad draws it, triangle (P0, P1, P2) then (P2, P3, P0),
// less the outline lines whose every pixel a later line of the sweep paints again: triangle 1's
// closing edge P2-P0 is triangle 2's P0-P2; its edge P1-P2 is the next column's P3-P0; triangle
// 2's edge P2-P3 is the next cell's P0-P1 (docs/performance.md, "Dropped outline lines"). Only
// the last column and the last row keep those lines. The cells of a run are set up L::width at
// a time, in lanes, and drawn a group at a time, in order.
template <class L>
void drawCells(const VexCellGrid& grid, const VexCellRun* runs, int count, const VexRowBand& band,
               void* scratch) {
    const int cellRows = grid.ny - 1;
    const double lastCanvasColumn = static_cast<double>(band.width - 1);
    // The table lies in the caller's memory: at 16 KiB it would take a quarter of a small stack.
    CellRows<L>& rows = *static_cast<CellRows<L>*>(scratch);
    for (const VexCellRun* run = runs; run != runs + count; ++run) {
        const int i = run->column;
        const int* leftX = grid.columns[i];
        const int* leftY = grid.rows[i];
        const int* rightX = grid.columns[i + 1];
        const int* rightY = grid.rows[i + 1];
        const unsigned char* shades = grid.shades + 2LL * i * cellRows;
        const bool lastColumn = i + 2 == grid.nx;
        if (run + 1 != runs + count) {
            askForRun(grid, run[1]);
        }
        for (int j0 = run->first; j0 <= run->last; j0 += L::width) {
            // The corners of the group after the next, within the run.
            const long long ahead = least(j0 + 2 * L::width, run->last + 1);
            __builtin_prefetch(leftX + ahead);
            __builtin_prefetch(leftY + ahead);
            __builtin_prefetch(rightX + ahead);
            __builtin_prefetch(rightY + ahead);
            const int cells = run->last - j0 + 1 < L::width ? run->last - j0 + 1 : L::width;
            CellGroup<L> group;
            setUpCells<L>({leftX, leftY, rightX, rightY, j0}, cells, lastCanvasColumn, group);
            const Ink* firsts[L::width];
            const Ink* seconds[L::width];
            unsigned outlines1[L::width], outlines2[L::width];
            for (int k = 0; k < cells; ++k) {
                const int j = j0 + k;
                firsts[k] = &grid.inks[shades[2 * j]];
                seconds[k] = &grid.inks[shades[2 * j + 1]];
                outlines1[k] = lastColumn ? lastColumnLines1 : usualLines1;
                outlines2[k] = j + 1 == cellRows ? lastRowLines2 : usualLines2;
            }
            drawGroup<L>(band, {leftX, leftY, rightX, rightY, j0}, cells, firsts, seconds,
                         outlines1, outlines2, group, rows);
        }
    }
}

}  // namespace
