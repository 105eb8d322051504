// The orbit kernel in vector lanes: orbits advanced a vector at a time, their escapes recorded
// without a branch, the finished ones settled in lists between stages. A kernel body, included
// by the kernel units after the lanes and fractal/orbit_escape.h (see lanes/lanes_scalar.h).
#pragma once

namespace {

template <class L>
struct OrbitLanes {
    typename L::Real cr, ci, zx, zy, zx2, zy2;
    // The iteration at which each lane first met the escape test, -1 while it has not, and
    // |z|^2 then. Recorded by selection, so that escapes cost no branch.
    typename L::Real escapedAt, escapedSum;
    unsigned valid;  // lanes holding an orbit
};

template <class L>
inline void loadOrbits(OrbitLanes<L>& o, const VexOrbitSlots& slots, int at, int count) {
    o.cr = L::load(slots.cr + at);
    o.ci = L::load(slots.ci + at);
    o.zx = L::load(slots.zx + at);
    o.zy = L::load(slots.zy + at);
    o.zx2 = o.zx * o.zx;
    o.zy2 = o.zy * o.zy;
    o.escapedAt = L::splat(-1.0);
    o.escapedSum = L::splat(0.0);
    int valid = count - at;
    o.valid = valid >= L::width ? (1u << L::width) - 1 : valid <= 0 ? 0u : (1u << valid) - 1;
}

// Records the escape test of the current z for lanes that have not escaped before; returns the
// lanes still iterating (valid and not escaped).
template <class L>
inline unsigned testEscape(OrbitLanes<L>& o, typename L::Real threshold, typename L::Real n) {
    typename L::Real sum = o.zy2 + o.zx2;
    typename L::Mask first = L::both(L::ge(sum, threshold), L::gt(L::splat(0.0), o.escapedAt));
    o.escapedAt = L::select(first, n, o.escapedAt);
    o.escapedSum = L::select(first, sum, o.escapedSum);
    return o.valid & ~L::bits(L::ge(o.escapedAt, L::splat(0.0)));
}

// One iteration, in the height function's order: the new imaginary part from the old z, the
// new real part from the old squares, then the squares of the new z. Lanes that have escaped
// go on iterating harmlessly (their values overflow); their record is kept.
template <class L>
inline void stepOrbits(OrbitLanes<L>& o) {
    typename L::Real t = o.zy * o.zx;
    o.zy = (t + t) + o.ci;
    o.zx = (o.zx2 + o.cr) - o.zy2;
    o.zy2 = o.zy * o.zy;
    o.zx2 = o.zx * o.zx;
}

// For c in the main cardioid, z -> z^2 + c has the attracting fixed point z* = (1 - s) / 2,
// s = sqrt(1 - 4c) with Re s >= 0, and multiplier lambda = 1 - s. The disc of radius
// rho = (1 - |lambda|) / 2 about z* traps the rounded iteration when 1 - |lambda| >= 1e-6, and
// an orbit inside it never escapes: its height is 1 (the proof: docs/performance.md, "The
// cardioid trap"). The test asks for a quarter of rho about the computed z*. Returns the lanes
// whose z lies in their trap.
template <class L>
inline unsigned trappedLanes(const OrbitLanes<L>& o) {
    typedef typename L::Real Real;
    const Real zero = L::splat(0.0);
    const Real one = L::splat(1.0);
    const Real half = L::splat(0.5);
    const Real four = L::splat(4.0);
    // s = sqrt(a + ib), a + ib = 1 - 4c, taken without cancellation on either side of a = 0.
    Real a = one - four * o.cr;
    Real b = zero - four * o.ci;
    Real modulus = L::sqrt(a * a + b * b);
    Real right = L::sqrt((modulus + a) * half);
    Real left = L::sqrt((modulus - a) * half);
    typename L::Mask rightHalf = L::ge(a, zero);
    Real sx = L::select(rightHalf, right, L::abs(b) / (left + left));
    Real sy =
        L::select(rightHalf, b / (right + right), L::select(L::ge(b, zero), left, zero - left));
    Real lambdaX = one - sx;
    Real lambdaY = zero - sy;
    Real gap = one - L::sqrt(lambdaX * lambdaX + lambdaY * lambdaY);
    Real radius = gap * L::splat(0.125);
    Real dx = o.zx - lambdaX * half;
    Real dy = o.zy - lambdaY * half;
    // NaN (c = 1/4, or c not a number) fails the comparisons and gets no trap.
    return L::bits(L::both(L::ge(gap, L::splat(1e-6)), L::ge(radius * radius, dx * dx + dy * dy)));
}

// Settles every lane that finished. A lane still going and `settled` (at settledAt, or trapped)
// has height 1; an escaped lane joins the stage's escaped orbits, at `escaped` in the slots,
// whose heights are computed together at the end of the stage. Lanes still going otherwise are
// packed into the slots at `kept`. Both lists are written by compressing the lanes: those of a
// list one after another, whatever the pattern of lanes, without a branch. (kept and escaped
// stay at most at: packing toward the front never overwrites a slot not yet read, and
// neither list, nor a slot written just past it, leaves the slots.)
template <class L>
inline void settleOrbits(const OrbitLanes<L>& o, unsigned live, unsigned settled,
                         const VexOrbitSlots& slots, int at, int& kept, int& escaped,
                         double* heights) {
    const unsigned out = o.valid & ~live;
    L::compress(out, o.escapedSum, slots.escapedSum + escaped);
    L::compress(out, o.escapedAt, slots.escapedAt + escaped);
    escaped += L::compressInts(out, slots.index + at, slots.escapedIndex + escaped);
    for (unsigned ones = o.valid & live & settled; ones != 0; ones &= ones - 1) {
        heights[slots.index[at + __builtin_ctz(ones)]] = 1.0;
    }
    const unsigned going = o.valid & live & ~settled;
    L::compress(going, o.cr, slots.cr + kept);
    L::compress(going, o.ci, slots.ci + kept);
    L::compress(going, o.zx, slots.zx + kept);
    L::compress(going, o.zy, slots.zy + kept);
    kept += L::compressInts(going, slots.index + at, slots.index + kept);
}

// K vectors of orbits advance together, so that one's multiplications fill the others'
// latency. An orbit finishes when it escapes (its height is computed), when it reaches
// settledAt, or when a stage ends with it in its cardioid trap (height 1); otherwise it waits
// for the next stage, packed with the others left.
template <class L, int K>
int advanceOrbitGroups(const VexOrbitSlots& slots, int count, int from, int to, double* heights) {
    typedef typename L::Real Real;
    const Real threshold = L::splat(vexEscapeThreshold);
    const int w = L::width;
    int kept = 0;
    int escaped = 0;
    for (int base = 0; base < count; base += K * w) {
        OrbitLanes<L> o[K];
        unsigned live[K];
        for (int v = 0; v < K; ++v) {
            loadOrbits(o[v], slots, base + v * w, count);
        }
        int n = from;
        Real iteration = L::splat(static_cast<double>(from));
        bool settled = false;
        for (;;) {
            unsigned any = 0;
            for (int v = 0; v < K; ++v) {
                live[v] = testEscape(o[v], threshold, iteration);
                any |= live[v];
            }
            if (any == 0) {
                break;
            }
            for (int v = 0; v < K; ++v) {
                stepOrbits(o[v]);
            }
            ++n;
            iteration = iteration + L::splat(1.0);
            if (n >= settledAt) {
                settled = true;
                break;
            }
            if (n == to) {
                break;
            }
        }
        for (int v = 0; v < K; ++v) {
            // At the end of a stage, the orbits caught in their cardioid trap stop here.
            unsigned done = settled ? live[v] : live[v] != 0 ? trappedLanes(o[v]) & live[v] : 0u;
            settleOrbits(o[v], live[v], done, slots, base + v * w, kept, escaped, heights);
        }
    }
    // The escaped orbits' heights, one after another: nothing else waits for each log10.
    for (int e = 0; e < escaped; ++e) {
        heights[slots.escapedIndex[e]] =
            escapedHeight(slots.escapedSum[e], static_cast<int>(slots.escapedAt[e]));
    }
    return kept;
}

// Two vectors: three were measured no faster (most of what is left is the escaped orbits'
// log10).
template <class L>
int advanceOrbits(const VexOrbitSlots& slots, int count, int from, int to, double* heights) {
    return advanceOrbitGroups<L, 2>(slots, count, from, to, heights);
}

}  // namespace
