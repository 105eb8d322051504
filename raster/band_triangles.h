// The band rasteriser's triangles: vex3D_FillTriangle's pixels (outline lines, then the scan-line
// fill) from projected corners, limited to a band of rows, the rows' crossings taken a vector of
// rows or of triangles at a time. A kernel body, included by the kernel units after
// raster/band_lines.h (see lanes/lanes_scalar.h).
#pragma once

namespace {

// ---- Triangles ----------------------------------------------------------------------------------
// A filled triangle is its outline lines plus its scan-line fill, all in one colour, so its
// pixels are their union, in any order. The fill's rows are split at the middle vertex: every
// row then has exactly two crossing edges, the longest edge and the short edge beside that row
// (docs/performance.md, "Fill rows"). Outline lines that are y-major have one pixel per row,
// computed for a vector of rows beside the crossings and merged into the row's span when it
// touches it (docs/performance.md, "Lines in the fill pass").

// An outline line that is y-major and within the fixed-point rule, as the walk steps it: on row
// y (from yA to yB) its pixel is floor((xA * 65536 + (y - yA) * step) / 65536). Every term is an
// integer below 2^53, so doubles hold the walk's accumulator exactly.
struct RowLine {
    double origin;  // xA * 65536
    double yA, yB;
    double step;
};

// One directed edge of the fill: it crosses row y at xp + round((y - yp) * slope), measured
// from its first vertex, the slope being the same double on every row. Its values are held in
// every lane (or, for several triangles at once, one triangle a lane), read once per triangle:
// the frame buffer's stores may alias any memory, so values left in memory would be read again
// after every store. The column xp is a whole number, as the crossings are.
template <class L>
struct EdgeInLanes {
    typename L::Whole xp;
    typename L::Real yp, slope;
};

// The fill of a triangle that is not flat, split at its middle vertex: each row is crossed by
// the longest edge and by the short edge beside it; rows from `split` on take the lower one.
template <class L>
struct FillInLanes {
    EdgeInLanes<L> longest, upper, lower;
    typename L::Real split;
};

// One triangle's fill in plain doubles.
typedef FillInLanes<ScalarLanes> TriangleFill;

template <class L>
inline FillInLanes<L> fillInLanes(const TriangleFill& f) {
    return {{L::wholes(f.longest.xp), L::splat(f.longest.yp), L::splat(f.longest.slope)},
            {L::wholes(f.upper.xp), L::splat(f.upper.yp), L::splat(f.upper.slope)},
            {L::wholes(f.lower.xp), L::splat(f.lower.yp), L::splat(f.lower.slope)},
            L::splat(f.split)};
}

// The fill edge from (xp, yp) to (xc, yc), and whether it is level (it then crosses no row).
template <class L>
inline EdgeInLanes<L> fillEdge(typename L::Real xp, typename L::Real yp, typename L::Real xc,
                               typename L::Real yc, typename L::Mask* level) {
    typedef typename L::Real Real;
    *level = L::eq(yp, yc);
    // The differences of ints are exact; a level edge divides by 1 and takes slope 0.
    Real slope = (xc - xp) / L::select(*level, L::splat(1.0), yc - yp);
    return {L::wholeOf(xp), yp, L::select(*level, L::splat(0.0), slope)};
}

// The field of edge `index` (0, 1 or 2) in each lane.
template <class L, class Value>
inline Value pick(typename L::Real index, Value e0, Value e1, Value e2) {
    return L::select(L::eq(index, L::splat(0.0)), e0,
                     L::select(L::eq(index, L::splat(1.0)), e1, e2));
}

template <class L>
inline EdgeInLanes<L> pickEdge(typename L::Real index, const EdgeInLanes<L> (&e)[3]) {
    return {pick<L>(index, e[0].xp, e[1].xp, e[2].xp), pick<L>(index, e[0].yp, e[1].yp, e[2].yp),
            pick<L>(index, e[0].slope, e[1].slope, e[2].slope)};
}

// The fill of triangle (v0, v1, v2), not flat, in each lane, without a branch. The top vertex
// is the first with the smallest row, the bottom one the last with the largest, as the fill's
// own ordering finds them. The fill's edges run v2 -> v0 (the closing edge, visited first),
// v0 -> v1 and v1 -> v2, so edge e runs from vertex e + 2 (mod 3) to vertex e, and the edge
// opposite vertex m is edge m + 2 (mod 3).
template <class L>
inline FillInLanes<L> triangleFill(typename L::Real x0, typename L::Real y0, typename L::Real x1,
                                   typename L::Real y1, typename L::Real x2, typename L::Real y2) {
    typedef typename L::Real Real;
    typedef typename L::Mask Mask;
    const Real one = L::splat(1.0);
    const Real two = L::splat(2.0);
    const Mask firstTop = L::gt(y0, y1);
    Real top = L::select(L::gt(L::select(firstTop, y1, y0), y2), two,
                         L::select(firstTop, one, L::splat(0.0)));
    const Mask firstBottom = L::ge(y1, y0);
    Real bottom = L::select(L::ge(y2, L::select(firstBottom, y1, y0)), two,
                            L::select(firstBottom, one, L::splat(0.0)));
    Real mid = L::splat(3.0) - top - bottom;
    Mask level[3];
    const EdgeInLanes<L> edges[3] = {fillEdge<L>(x2, y2, x0, y0, &level[0]),
                                     fillEdge<L>(x0, y0, x1, y1, &level[1]),
                                     fillEdge<L>(x1, y1, x2, y2, &level[2])};
    auto opposite = [&](Real vertex) {
        return L::select(L::ge(vertex, one), vertex - one, vertex + two);
    };
    Real lower = opposite(top);
    FillInLanes<L> fill;
    fill.longest = pickEdge<L>(opposite(mid), edges);
    fill.upper = pickEdge<L>(opposite(bottom), edges);
    fill.lower = pickEdge<L>(lower, edges);
    // Rows from the middle vertex's on take the lower short edge; if that edge is level, the
    // middle vertex's row is the last and the upper edge crosses it at the same x.
    const Real levelOne = L::select(level[0], one, L::splat(0.0));
    const Real levelTwo = L::select(level[1], one, L::splat(0.0));
    const Real levelThree = L::select(level[2], one, L::splat(0.0));
    const Real lowerLevel = pick<L>(lower, levelOne, levelTwo, levelThree);
    fill.split = pick<L>(mid, y0, y1, y2) + lowerLevel;
    return fill;
}

// The crossings of an edge with the rows in y. (y - yp) is exact, t is the fill's own product,
// the rounding is vexMath_Round's (t + 0.5, or -(0.5 - t)), and its truncation plus xp is the
// crossing, a whole number.
template <class L>
inline typename L::Whole crossingsOf(const EdgeInLanes<L>& e, typename L::Real y) {
    typedef typename L::Real Real;
    Real t = (y - e.yp) * e.slope;
    // t + 0.5 where t > 0, and t - 0.5 = -(0.5 - t) elsewhere (a zero gives 0 either way).
    return e.xp + L::wholeOf(t + L::halfWithSignOf(t));
}

// The fill's span on the rows in y (each within the triangle's rows), clamped to the canvas.
// The literal span starts inverted but not empty (start = width - 1, end = 0): a row whose
// crossings all lie left of the canvas still paints x = 0, one whose crossings all lie right
// paints x = width - 1. Clamped, start <= end on every row.
template <class L>
inline void crossingsOfRows(const FillInLanes<L>& fill, typename L::Real y, typename L::Whole& xa,
                            typename L::Whole& xb) {
    xa = crossingsOf<L>(fill.longest, y);
    // The short edge of each row, chosen before its crossing is formed.
    const typename L::Mask below = L::ge(y, fill.split);
    const EdgeInLanes<L> edge = {L::select(below, fill.lower.xp, fill.upper.xp),
                                 L::select(below, fill.lower.yp, fill.upper.yp),
                                 L::select(below, fill.lower.slope, fill.upper.slope)};
    xb = crossingsOf<L>(edge, y);
}

// (The canvas's columns are low..high: 0..width - 1, or counted from another column.)
template <class L>
inline void spanOf(const FillInLanes<L>& fill, typename L::Real y, typename L::Whole low,
                   typename L::Whole high, typename L::Whole& start, typename L::Whole& end) {
    typename L::Whole xa, xb;
    crossingsOfRows<L>(fill, y, xa, xb);
    start = L::max(L::min(L::min(high, xa), xb), low);
    end = L::min(L::max(L::max(low, xa), xb), high);
}

// Rows first..last (on the band) of a triangle: crossed by the longest edge and, above row
// `split`, by the upper short edge, from there on by the lower one; with its y-major outline
// lines. Branch-free per chunk of rows: the rows past `last` in the final chunk are painted
// into a scratch row instead of the canvas.
template <class L, int lineCount>
void fillRows(const VexRowBand& band, long long first, long long last, const TriangleFill& triangle,
              const RowLine (&lines)[3], const Ink& ink) {
    const FillInLanes<L> fill = fillInLanes<L>(triangle);
    typedef typename L::Real Real;
    typedef typename L::Whole Whole;
    const Whole lastColumn = L::wholes(static_cast<double>(band.width - 1));
    const Whole zero = L::wholes(0.0);
    const Whole one = L::wholes(1.0);
    const Real fixedPointUnit = L::splat(1.0 / 65536.0);
    const long long rowBytes = band.width * 3;
    const typename L::Colour colour = L::colourOf(ink);
    // Padding lanes paint one pixel here.
    unsigned char scratch[64];
    unsigned char* row = pixelAt(band, 0, first);
    for (long long top = first; top <= last; top += L::width) {
        Real y = L::splat(static_cast<double>(top)) + L::ramp();
        Whole start, end;
        spanOf<L>(fill, y, zero, lastColumn, start, end);
        long long rows = least(L::width, last - top + 1);
        unsigned valid = rows >= L::width ? (1u << L::width) - 1 : (1u << rows) - 1;
        // Each line pixel next to or on the fill's span joins it (so the row stays one run);
        // the test is against the fill's own span, which keeps the lines independent.
        const Whole fillStart = start - one;
        const Whole fillEnd = end + one;
        unsigned stray[3] = {0, 0, 0};
        Whole strayX[3] = {zero, zero, zero};
        for (int l = 0; l < lineCount; ++l) {
            const RowLine& line = lines[l];
            const Whole x = L::wholeOf(
                L::floor((L::splat(line.origin) + (y - L::splat(line.yA)) * L::splat(line.step)) *
                         fixedPointUnit));
            typename L::Mask drawn =
                L::both(L::both(L::ge(y, L::splat(line.yA)), L::ge(L::splat(line.yB), y)),
                        L::both(L::ge(x, zero), L::ge(lastColumn, x)));
            typename L::Mask touching = L::both(L::ge(x, fillStart), L::ge(fillEnd, x));
            typename L::Mask merged = L::both(drawn, touching);
            start = L::select(merged, L::min(start, x), start);
            end = L::select(merged, L::max(end, x), end);
            stray[l] = L::bits(drawn) & ~L::bits(touching) & valid;
            strayX[l] = x;
        }
        int from[L::width], to[L::width];
        L::truncate(start, from);
        L::truncate(end, to);
        for (int k = 0; k < L::width; ++k) {
            unsigned char* at = k < rows ? row + 3LL * from[k] : scratch;
            L::paintRun(at, k < rows ? to[k] - from[k] + 1 : 1, colour);
            row -= rowBytes;
        }
        // Line pixels apart from their row's span (rare) are painted on their own.
        if ((stray[0] | stray[1] | stray[2]) != 0) {
            for (int l = 0; l < lineCount; ++l) {
                int xs[L::width];
                L::truncate(strayX[l], xs);
                for (int k = 0; k < L::width; ++k) {
                    if ((stray[l] >> k) & 1u) {
                        paintPixel(pixelAt(band, xs[k], top + k), ink);
                    }
                }
            }
        }
    }
}

// The outline lines of a triangle (T0, T1, T2), one bit each: line k joins T_k and T_k+1.
const unsigned outlineT0T1 = 1u;
const unsigned outlineT1T2 = 2u;
const unsigned outlineT2T0 = 4u;
const unsigned outlineAll = outlineT0T1 | outlineT1T2 | outlineT2T0;

// vex3D_FillTriangle's pixels from projected corners, limited to the band: outline lines k
// (joining T_k and T_k+1, for each bit k of `outline`), then vexRaster_PolygonFill of T0, T1, T2.
template <class L>
void drawTriangle(const VexRowBand& band, int x0, int y0, int x1, int y1, int x2, int y2,
                  const Ink& ink, unsigned outline) {
    const long long ymin = most(least(least(y0, y1), y2), band.rowBegin);
    const long long ymax = least(most(most(y0, y1), y2), band.rowEnd - 1);
    if (ymin > ymax) {
        // Every pixel of the triangle, outline included, lies between its lowest and highest
        // vertex rows.
        return;
    }
    const int xs[3] = {x0, x1, x2};
    const int ys[3] = {y0, y1, y2};
    const bool flat = y0 == y1 && y1 == y2;
    RowLine lines[3];
    int lineCount = 0;
    for (int k = 0; k < 3; ++k) {
        if (((outline >> k) & 1u) == 0) {
            continue;
        }
        long long ax = xs[k], ay = ys[k], bx = xs[(k + 1) % 3], by = ys[(k + 1) % 3];
        long long dx = bx - ax, dy = by - ay;
        if ((dx < 0 ? -dx : dx) > (dy < 0 ? -dy : dy) ||
            (dy < 0 ? -dy : dy) > longestFixedPointLine || flat) {
            walkAnyLine(band, xs[k], ys[k], xs[(k + 1) % 3], ys[(k + 1) % 3], ink);
            continue;
        }
        // The walk starts at the endpoint with the smaller y.
        if (dy < 0) {
            ax = bx;
            ay = by;
            dx = -dx;
            dy = -dy;
        }
        RowLine& line = lines[lineCount++];
        line.origin = static_cast<double>(ax * 65536);
        line.yA = static_cast<double>(ay);
        line.yB = static_cast<double>(ay + dy);
        // (dx * 65536) / dy truncated: the double quotient truncates to the integer one
        // (docs/performance.md, "Lines in the fill pass").
        line.step =
            dy == 0 ? 0.0
                    : __builtin_trunc(static_cast<double>(dx * 65536) / static_cast<double>(dy));
    }
    if (flat) {
        // No edge crosses any row, and the span stays at start = width - 1, end = 0: it paints
        // only on a canvas one pixel wide.
        if (band.width == 1) {
            paintPixel(pixelAt(band, 0, y0), ink);
        }
        return;
    }
    const TriangleFill fill = triangleFill<ScalarLanes>(x0, y0, x1, y1, x2, y2);
    switch (lineCount) {
        case 0:
            fillRows<L, 0>(band, ymin, ymax, fill, lines, ink);
            break;
        case 1:
            fillRows<L, 1>(band, ymin, ymax, fill, lines, ink);
            break;
        case 2:
            fillRows<L, 2>(band, ymin, ymax, fill, lines, ink);
            break;
        default:
            fillRows<L, 3>(band, ymin, ymax, fill, lines, ink);
            break;
    }
}

// vex3D_FillTriangle from projected corners: the outline T0->T1, T1->T2, T2->T0, then the fill.
template <class L>
void fillTriangle(const VexRowBand& band, int x0, int y0, int x1, int y1, int x2, int y2,
                  int colour) {
    drawTriangle<L>(band, x0, y0, x1, y1, x2, y2, vexRaster_InkOf(colour), outlineAll);
}

}  // namespace
