// The rows of cells drawn in one pass: each row's pixels of a cell's triangles and outline lines
// as byte masks over the cell's 64-byte window, formed for a group of cells at once, one lane a
// cell. A kernel body, included by the kernel units after raster/band_triangles.h (see
// lanes/lanes_scalar.h).
#pragma once

namespace {

// ---- Cells in one pass ----------------------------------------------------------------------
// A cell whose pixels all lie within 21 columns is drawn row by row in one pass: on each row the
// pixels of triangle 1 (its fill and its outline line) and of triangle 2 (fill and lines) are
// byte masks over a 64-byte window, and one store paints triangle 2's pixels in its colour and
// the rest of triangle 1's in its own, which is what painting triangle 1 and then triangle 2
// leaves. Everything a triangle paints lies between its corners' columns and rows.
//
// The masks are formed for a group of consecutive cells at once, one lane a cell, row by row
// from each cell's first row; the cells are then painted one after another, in sweep order.
// With the cells' set-up already in lanes, no value is spread across a vector per cell, and the
// row loop runs once for the whole group.

// Pixels of a cell that one 64-byte window holds: 21 of 3 bytes.
const int cellWindow = 21;

// An outline line as the walk draws it (within the fixed-point rule), read row by row, for
// several cells at once, one a lane (xMajor 1 or 0).
// Columns are counted from the first of the cell's window.
// y-major: on rows a..b the pixel floor((xA * 65536 + (y - a) * step) / 65536), the walk starting
// at the endpoint (xA, a) with the smaller y; kept as floor((origin + y * step) / 65536) with
// origin = xA * 65536 - a * step, the same integer (docs/performance.md, "A group's cells in
// lanes"), the sum stepped by `step` from row to row.
// x-major: walked over columns a..b from the endpoint with the smaller x, whose row is origin;
// column x lies on row (origin * 65536 + (x - a) * step) >> 16.
template <class L>
struct LineInLanes {
    typename L::Real xMajor, a, b, origin, step;
};

// The same, left in memory for a group's rows: field[k] is lane k's.
template <class L>
struct LineFields {
    double xMajor[L::width], a[L::width], b[L::width], origin[L::width], step[L::width];
};

template <class L>
inline LineInLanes<L> cellLine(typename L::Real x1, typename L::Real y1, typename L::Real x2,
                               typename L::Real y2) {
    typedef typename L::Real Real;
    typedef typename L::Mask Mask;
    const Real zero = L::splat(0.0);
    const Real unit = L::splat(65536.0);
    // Differences of ints, exact, as every sum and product below (all integers below 2^53).
    Real dx = x2 - x1;
    Real dy = y2 - y1;
    const Mask xMajor = L::gt(L::abs(dx), L::abs(dy));
    Real majorA = L::select(xMajor, x1, y1);
    Real minorA = L::select(xMajor, y1, x1);
    Real dMajor = L::select(xMajor, dx, dy);
    Real dMinor = L::select(xMajor, dy, dx);
    // The walk starts at the endpoint with the smaller major coordinate.
    const Mask backward = L::gt(zero, dMajor);
    majorA = L::select(backward, majorA + dMajor, majorA);
    minorA = L::select(backward, minorA + dMinor, minorA);
    dMajor = L::select(backward, zero - dMajor, dMajor);
    dMinor = L::select(backward, zero - dMinor, dMinor);
    const Mask point = L::eq(dMajor, zero);
    LineInLanes<L> line;
    line.xMajor = L::select(xMajor, L::splat(1.0), zero);
    line.a = majorA;
    line.b = majorA + dMajor;
    // (dMinor * 65536) / dMajor truncated: the double quotient truncates to the integer one
    // (docs/performance.md, "Lines in the fill pass").
    line.step =
        L::select(point, zero, L::trunc(dMinor * unit / L::select(point, L::splat(1.0), dMajor)));
    line.origin = L::select(xMajor, minorA, minorA * unit - majorA * line.step);
    return line;
}

// One outline line of each lane's cell, as LineInLanes describes it, read row by row from a
// first row on: bits(y) is the byte mask of row y over the cell's window, rows taken one after
// another; the canvas's columns are low..high there.
// An x-major line's columns on row y are those whose accumulator lies in
// [m * 65536, (m + 1) * 65536), m = y - origin: with a step s > 0, x - a runs from B(m) to
// B(m + 1) - 1, with s < 0 from 1 - B(m + 1) to -B(m), where B(m) = ceil(m * 65536 / |s|); a
// level line (s = 0) is read as a rising line with |s| = floor(65536 / (b - a + 1)). B is
// stepped from row to row exactly: with 65536 = Q |s| + R and B(m) |s| = m * 65536 + E
// (0 <= E < |s|), B(m + 1) is B(m) + Q + 1 where R > E, else B(m) + Q. Why every value is exact,
// the first B included: docs/performance.md, "x-major lines, stepped".
template <class L, bool onCanvas>
struct LineRows {
    typedef typename L::Real Real;
    typedef typename L::Whole Whole;
    typedef typename L::Mask Mask;
    Mask yMajor, xMajor, rising;
    bool anyXMajor;
    // y-major lanes: the walk's accumulator origin + y * step for the row to come, and the step;
    // that row's count from a, against b - a.
    Whole sum, step, count, span;
    // x-major lanes: a, b, a + 1, a - 1, Q, Q + 1, R, |s| - R, B and E for the row to come.
    Whole a, b, aPlusOne, aMinusOne, quotient, quotientPlusOne, rest, divisorLessRest, boundary,
        excess;

    LineRows(const LineFields<L>& line, Real y, unsigned lanes) {
        const Real zero = L::splat(0.0);
        const Real one = L::splat(1.0);
        const Real unit = L::splat(65536.0);
        const Real first = L::load(line.a);
        const Real last = L::load(line.b);
        const Real origin = L::load(line.origin);
        const Real slope = L::load(line.step);
        xMajor = L::eq(L::load(line.xMajor), one);
        yMajor = L::eq(L::load(line.xMajor), zero);
        anyXMajor = (L::bits(xMajor) & lanes) != 0;
        rising = xMajor;
        // Lanes of the other class hold values that are never used, but whole numbers all the
        // same.
        sum = L::wholeOf(L::select(yMajor, origin + y * slope, zero));
        step = L::wholeOf(L::select(yMajor, slope, zero));
        count = L::wholeOf(L::select(yMajor, y - first, zero));
        span = L::wholeOf(L::select(yMajor, last - first, zero));
        a = b = aPlusOne = aMinusOne = quotient = quotientPlusOne = rest = divisorLessRest =
            boundary = excess = L::wholes(0.0);
        if (!anyXMajor) {
            return;
        }
        rising = L::ge(slope, zero);
        const Real divisor = L::max(
            L::select(L::eq(slope, zero), L::floor(unit / (last - first + one)), L::abs(slope)),
            one);
        const Real q = L::floor(unit / divisor);
        const Real r = unit - q * divisor;
        const Real p = L::select(xMajor, (y - origin) * unit, zero);
        const Real firstBoundary = L::ceil(p / divisor);
        const Real xFirst = L::select(xMajor, first, zero);
        a = L::wholeOf(xFirst);
        b = L::wholeOf(L::select(xMajor, last, zero));
        aPlusOne = L::wholeOf(xFirst + one);
        aMinusOne = L::wholeOf(xFirst - one);
        quotient = L::wholeOf(q);
        quotientPlusOne = L::wholeOf(q + one);
        rest = L::wholeOf(r);
        divisorLessRest = L::wholeOf(divisor - r);
        boundary = L::wholeOf(firstBoundary);
        excess = L::wholeOf(firstBoundary * divisor - p);
    }

    // The mask of the row to come; the canvas's columns are low..high.
    typename L::Bits bits(Whole low, Whole high) {
        // y-major: the pixel's offset in the window.
        const Whole offset = L::fixedPointFloor(sum);
        Mask drawn = L::within(count, span, yMajor);
        sum = sum + step;
        count = count + L::wholes(1.0);
        if (!onCanvas) {
            drawn = L::both(drawn, L::both(L::ge(offset, low), L::ge(high, offset)));
        }
        const typename L::Bits pixels = L::pixelBitsFrom(offset, drawn);
        if (!anyXMajor) {
            return pixels;
        }
        const Mask carry = L::gt(rest, excess);
        const Whole next = L::select(carry, boundary + quotientPlusOne, boundary + quotient);
        excess = L::select(carry, excess + divisorLessRest, excess - rest);
        Whole first = L::max(L::select(rising, a + boundary, aPlusOne - next), a);
        Whole last = L::min(L::select(rising, aMinusOne + next, a - boundary), b);
        boundary = next;
        if (!onCanvas) {
            first = L::max(first, low);
            last = L::min(last, high);
        }
        return L::orBits(pixels, L::spanBits(first, last, L::both(L::ge(last, first), xMajor)));
    }
};

// The byte mask of a triangle's fill on the rows in y, over the cell's window, where the
// triangle's columns and the canvas's, low..high, are counted. A triangle whose corners all lie
// on the canvas's columns has all its crossings there too, and the clamps of the span change
// nothing.
template <class L, bool onCanvas>
inline typename L::Bits fillBits(const FillInLanes<L>& fill, typename L::Real top,
                                 typename L::Real bottom, typename L::Real y, typename L::Whole low,
                                 typename L::Whole high) {
    typename L::Whole start, end;
    if (onCanvas) {
        typename L::Whole xa, xb;
        crossingsOfRows<L>(fill, y, xa, xb);
        start = L::min(xa, xb);
        end = L::max(xa, xb);
    } else {
        spanOf<L>(fill, y, low, high, start, end);
    }
    return L::spanBits(start, end, L::both(L::ge(y, top), L::ge(bottom, y)));
}

}  // namespace
