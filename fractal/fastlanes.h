// The fast frame's vector kernels written once for any lane width: each kernel file includes
// this after choosing its instruction set, so the same source becomes the plain, AVX2 and
// AVX-512 kernels. Every lane does exactly the scalar operations, in the same order.
//
// Deliberately includes nothing: the including file has already included what this needs
// (<cmath>, <immintrin.h>, fastkernels.h) before switching its target, so that no inline code
// of a library header is ever compiled for a wider instruction set than the program may use.
#pragma once

namespace {

// The constants of the height function and of the sweep that the kernels repeat; the tests
// hold the results to vexFractal_MandelbrotHeight and vex3D_DrawShadedQuad on the whole grid.
const double orbitEscape = 10000.0;
const double cornerHeightOffset = 0.25;   // vexHeightOffset
const int shadeRange = 255;               // shadeHigh - shadeLow, with shadeLow 0
const double offsetLimit = 1073741824.0;  // vexProjectionLimit

inline void paintRun(unsigned char* pixel, long long n, const VexInk& ink);
inline void paintCellBits(unsigned char* pixel, unsigned long long both, unsigned long long two,
                          const VexInk& first, const VexInk& second);

// One lane, plain scalar code: the reference shape of every kernel, and the tail of each row.
struct ScalarLanes {
    typedef double Real;
    typedef bool Mask;
    static const int width = 1;
    static Real load(const double* p) { return *p; }
    // The first `count` ints from p, the last of them repeated in the lanes after (one lane here).
    static Real loadInts(const int* p, int) { return *p; }
    static void store(double* p, Real v) { *p = v; }
    static Real splat(double v) { return v; }
    // The arguments are sums of squares, never negative, so errno is never involved.
    static Real sqrt(Real a) { return __builtin_sqrt(a); }
    static Real abs(Real a) { return __builtin_fabs(a); }
    static Mask ge(Real a, Real b) { return a >= b; }
    static Mask eq(Real a, Real b) { return a == b; }
    static Mask isNan(Real a) { return a != a; }
    static Mask gt(Real a, Real b) { return a > b; }
    static Mask both(Mask a, Mask b) { return a && b; }
    static unsigned bits(Mask m) { return m ? 1u : 0u; }
    static Real select(Mask m, Real ifSet, Real ifClear) { return m ? ifSet : ifClear; }
    static Real min(Real a, Real b) { return a < b ? a : b; }
    static Real max(Real a, Real b) { return a > b ? a : b; }
    static Real trunc(Real a) { return __builtin_trunc(a); }
    static Real floor(Real a) { return __builtin_floor(a); }
    static Real ceil(Real a) { return __builtin_ceil(a); }
    static Real halfWithSignOf(Real a) { return __builtin_copysign(0.5, a); }
    static Real ramp() { return 0.0; }
    static void truncate(Real a, int* out) { *out = static_cast<int>(a); }
    // The lanes of `lanes` (bits) written one after another from out; returns how many. The
    // slot just past them may be written too, with a lane not taken.
    static int compress(unsigned lanes, Real a, double* out) {
        *out = a;
        return lanes & 1u;
    }
    static int compressInts(unsigned lanes, const int* in, int* out) {
        *out = *in;
        return lanes & 1u;
    }
    // Whole numbers, one a lane: here doubles that hold them. Every one the kernels form is
    // below 2^53 in magnitude, so every sum, difference and comparison of them is exact.
    typedef double Whole;
    // a's whole part (a below 2^53 in magnitude), and the whole number v.
    static Whole wholeOf(Real a) { return __builtin_trunc(a); }
    static Whole wholes(double v) { return v; }
    // floor(a / 65536): a times 2^-16 is exact.
    static Whole fixedPointFloor(Whole a) { return __builtin_floor(a * (1.0 / 65536.0)); }
    // The lanes of m with 0 <= count <= limit.
    static Mask within(Whole count, Whole limit, Mask m) {
        return m && count >= 0.0 && limit >= count;
    }
    typedef const VexInk* Colour;
    static Colour colourOf(const VexInk& ink) { return &ink; }
    static void paintRun(unsigned char* pixel, long long n, Colour ink) {
        ::paintRun(pixel, n, *ink);
    }
    // A byte mask over 21 pixels (63 bytes) from some column: the pixels first..last, counted
    // from that column, 3 bits each; none where `valid` is false or last < first.
    typedef unsigned long long Bits;
    static Bits spanBits(Real first, Real last, Mask valid) {
        if (!valid || last < first) {
            return 0;
        }
        int count = 3 * (static_cast<int>(last - first) + 1);
        return (~0ULL >> (64 - count)) << (3 * static_cast<int>(first));
    }
    // The one pixel `offset` columns from the window's first; none where `valid` is false.
    static Bits pixelBitsFrom(Real offset, Mask valid) {
        return valid ? 7ULL << (3 * static_cast<int>(offset)) : 0;
    }
    static Bits orBits(Bits a, Bits b) { return a | b; }
    static void storeBits(unsigned long long* out, Bits b) { *out = b; }
    static void paintCellRow(unsigned char* pixel, unsigned long long both, unsigned long long two,
                             Colour first, Colour second) {
        ::paintCellBits(pixel, both, two, *first, *second);
    }
};

// 2^n for -1022 <= n <= 1023, built from its bits: exactly what pow(2.0, n) returns there (a
// test checks every n), without the call.
inline double powerOfTwo(int n) {
    unsigned long long bits = static_cast<unsigned long long>(n + 1023) << 52;
    double value;
    __builtin_memcpy(&value, &bits, sizeof value);
    return value;
}

// The height of an orbit that escaped after n iterations with |z|^2 = s: the height function's
// log10(s) / 2^n, as log10(s) * 2^-n. Both are the exact value log10(s) * 2^-n rounded once,
// so they are the same double; the multiplication takes a fraction of the division's time.
// Clamping v to 1 is clamping 1 - v to +0: 1 - v is negative exactly when v > 1, and 1 - 1 is
// +0 (a NaN would stay NaN either way). Written so, the clamp needs no branch.
inline double escapedHeight(double s, int n) {
    double h = 1.0 - std::log10(s) * powerOfTwo(-n);
    return 0.0 > h ? 0.0 : h;
}

// ---- Orbits -------------------------------------------------------------------------------------

// The iteration count from which an orbit's height is exactly 1, whether it escapes later or
// never. An orbit that passes the escape test at n - 1 has |z|^2 < 10000 there, so the next
// |z|^2 is below (10000 + |c|)^2 with |c| < 100 (a larger c escapes at n = 0): on escape at
// n >= 58, log10(s) < 8.01 and v = log10(s) / 2^n < 8.01 / 2^58 < 2^-54, and 1 - v, which lies
// above the midpoint 1 - 2^-54 between 1 and the double below it, rounds to 1. An orbit that
// never escapes gets 1 from the cap. (At n = 57 the bound would be 8.01 / 2^57 > 2^-54.)
const int settledAt = 58;

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
// s = sqrt(1 - 4c) with Re s >= 0, and multiplier lambda = 2 z* = 1 - s, |lambda| < 1. With
// rho = (1 - |lambda|) / 2 the disc |z - z*| <= rho is a trap for the rounded iteration:
// z^2 + c - z* = (z - z*)(z + z*) and |z + z*| <= |z - z*| + |lambda|, so the exact step takes a
// point of the disc to within rho (rho + |lambda|) = rho - rho^2 of z*, and rounding adds less
// than 1e-14 (every value involved is below 10 in magnitude, each of the step's six roundings
// at most 2^-53 of it), which rho^2 covers when 1 - |lambda| >= 1e-6. Points of the disc have
// |z| < |z*| + rho < 1, so an orbit that enters it never escapes: it is still going at
// settledAt, and its height is 1. The test asks for a quarter of rho about the computed z*,
// whose error (a few units in the last place of numbers below 4) is far inside the rest.
// Returns the lanes whose z lies in their trap.
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
// packed into the slots at `kept`. Both lists are written by compressing stores: the lanes of a
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
    const Real threshold = L::splat(orbitEscape);
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

// ---- Shading ------------------------------------------------------------------------------------

template <class L>
struct EdgeLanes {
    typename L::Real x, y, z;
};

// Scales an edge to unit length as the facet renderer does. The length is never 0 here (the
// frame checks every grid step), so the components that are exactly +0 stay +0 and are not
// divided.
template <class L>
inline void normalizeXZ(EdgeLanes<L>& e) {
    typename L::Real length = L::sqrt(e.z * e.z + e.y * e.y + e.x * e.x);
    e.x = e.x / length;
    e.z = e.z / length;
}

template <class L>
inline void normalizeYZ(EdgeLanes<L>& e) {
    typename L::Real length = L::sqrt(e.z * e.z + e.y * e.y + e.x * e.x);
    e.y = e.y / length;
    e.z = e.z / length;
}

template <class L>
inline typename L::Real shadeOf(const EdgeLanes<L>& n, const VexShadeColumn& c) {
    typedef typename L::Real Real;
    Real dot = n.z * L::splat(c.lightZ) + n.y * L::splat(c.lightY) + n.x * L::splat(c.lightX);
    Real shade = L::abs(dot) * L::splat(static_cast<double>(shadeRange)) + L::splat(0.0);
    // A NaN shade takes the low shade, 0. |dot| <= 1 (unit edges, unit light), so the value
    // always fits an int.
    return L::select(L::isNan(shade), L::splat(0.0), shade);
}

template <class L>
inline void shadeCells(const VexShadeColumn& c, int j, unsigned char* shades) {
    typedef typename L::Real Real;
    const Real offset = L::splat(cornerHeightOffset);
    const Real zero = L::splat(0.0);
    // The corners' plot z, as the sweep builds them: P0 (x, y), P1 (xn, y), P2 (xn, yn),
    // P3 (x, yn).
    Real z0 = L::load(c.left + j) - offset;
    Real z1 = L::load(c.right + j) - offset;
    Real z2 = L::load(c.right + j + 1) - offset;
    Real z3 = L::load(c.left + j + 1) - offset;
    // E01 = P1 - P0, E03 = P3 - P0, E21 = P1 - P2, E23 = P3 - P2; a coordinate minus itself is +0.
    EdgeLanes<L> e01 = {L::splat(c.stepRight), zero, z1 - z0};
    EdgeLanes<L> e03 = {zero, L::load(c.stepUp + j), z3 - z0};
    EdgeLanes<L> e21 = {zero, L::load(c.stepDown + j), z1 - z2};
    EdgeLanes<L> e23 = {L::splat(c.stepLeft), zero, z3 - z2};
    normalizeXZ(e01);
    normalizeYZ(e03);
    normalizeYZ(e21);
    normalizeXZ(e23);
    // The cross products in full, zero components included, so that every product and
    // difference is the facet renderer's own.
    EdgeLanes<L> n1 = {e03.y * e01.z - e03.z * e01.y, e03.z * e01.x - e03.x * e01.z,
                       e03.x * e01.y - e03.y * e01.x};
    EdgeLanes<L> n2 = {e21.y * e23.z - e21.z * e23.y, e21.z * e23.x - e21.x * e23.z,
                       e21.x * e23.y - e21.y * e23.x};
    int first[L::width], second[L::width];
    L::truncate(shadeOf(n1, c), first);
    L::truncate(shadeOf(n2, c), second);
    for (int k = 0; k < L::width; ++k) {
        // Only the low byte of a shade reaches the colour.
        shades[2 * (j + k)] = static_cast<unsigned char>(first[k] & 0xff);
        shades[2 * (j + k) + 1] = static_cast<unsigned char>(second[k] & 0xff);
    }
}

template <class L>
void shadeColumn(const VexShadeColumn& column, int count, unsigned char* shades) {
    int j = 0;
    for (; j + L::width <= count; j += L::width) {
        shadeCells<L>(column, j, shades);
    }
    for (; j < count; ++j) {
        shadeCells<ScalarLanes>(column, j, shades);
    }
}

// ---- Projection ---------------------------------------------------------------------------------

// The integer part of a pixel offset as the projection takes it: NaN counts as 0 and offsets
// beyond the limit are held there.
template <class L>
inline void truncateOffsets(typename L::Real offset, int* out) {
    typedef typename L::Real Real;
    const Real limit = L::splat(offsetLimit);
    const Real lowest = L::splat(-offsetLimit);
    offset = L::select(L::isNan(offset), L::splat(0.0), offset);
    offset = L::select(L::ge(offset, limit), limit, offset);
    offset = L::select(L::ge(lowest, offset), lowest, offset);
    L::truncate(offset, out);
}

template <class L>
inline void projectCorners(const double* heights, const double* viewY, int j, double viewX,
                           const VexProjectionConstants& k, int* columns, int* rows) {
    typedef typename L::Real Real;
    Real X = L::splat(viewX);
    Real Y = L::load(viewY + j);
    Real z = L::load(heights + j) - L::splat(cornerHeightOffset);
    Real Z = (z - L::splat(k.centerZ)) * L::splat(k.scaleZ);
    Real V = L::splat(k.cosElevation) * Z + L::splat(k.sinElevCosAzim) * Y +
             L::splat(k.sinElevSinAzim) * X;
    Real D = L::splat(k.cosElevCosAzim) * Y + L::splat(k.cosElevSinAzim) * X -
             L::splat(k.sinElevation) * Z;
    Real H = L::splat(k.cosAzimuth) * X - L::splat(k.sinAzimuth) * Y;
    Real divisor = D - L::splat(k.eyeDepth);
    Real distance = L::splat(k.screenDistance);
    int across[L::width], up[L::width];
    truncateOffsets<L>(H * distance / divisor, across);
    truncateOffsets<L>(distance * V / divisor, up);
    for (int m = 0; m < L::width; ++m) {
        columns[j + m] = across[m] + k.centerX;
        rows[j + m] = k.centerY - up[m];
    }
}

template <class L>
void projectColumn(const double* heights, const double* viewY, int count, double viewX,
                   const VexProjectionConstants& camera, int* columns, int* rows) {
    int j = 0;
    for (; j + L::width <= count; j += L::width) {
        projectCorners<L>(heights, viewY, j, viewX, camera, columns, rows);
    }
    for (; j < count; ++j) {
        projectCorners<ScalarLanes>(heights, viewY, j, viewX, camera, columns, rows);
    }
}

// ---- Rasteriser ---------------------------------------------------------------------------------
// The literal line walk and scan-line fill, pixel for pixel, written straight into the frame
// buffer and limited to a band of rows. Library helpers are avoided on purpose (see the top).

inline long long least(long long a, long long b) {
    return a < b ? a : b;
}
inline long long most(long long a, long long b) {
    return a > b ? a : b;
}

typedef VexInk Ink;

inline void paintPixel(unsigned char* pixel, const Ink& ink) {
    __builtin_memcpy(pixel, ink.pattern, 2);
    pixel[2] = ink.pattern[2];
}

// n >= 1 pixels from `pixel` on. Overlapping stores are fine: every byte written is the byte
// of the colour its position calls for.
inline void paintRun(unsigned char* pixel, long long n, const Ink& ink) {
    long long bytes = 3 * n;
    if (bytes >= 16) {
        for (long long at = 0; at + 16 < bytes; at += 16) {
            __builtin_memcpy(pixel + at, ink.pattern + at % 48, 16);
        }
        __builtin_memcpy(pixel + bytes - 16, ink.pattern + (bytes - 16) % 48, 16);
    } else if (bytes >= 8) {
        __builtin_memcpy(pixel, ink.pattern, 8);
        __builtin_memcpy(pixel + bytes - 8, ink.pattern + 1, 8);  // bytes - 8 = 1 (mod 3)
    } else if (bytes == 6) {
        __builtin_memcpy(pixel, ink.pattern, 4);
        __builtin_memcpy(pixel + 2, ink.pattern + 2, 4);
    } else {
        paintPixel(pixel, ink);
    }
}

// The pixels of a byte mask (3 bits a pixel, bit 63 never set) painted run by run.
inline void paintBits(unsigned char* pixel, unsigned long long bits, const Ink& ink) {
    while (bits != 0) {
        int first = __builtin_ctzll(bits);
        int length = __builtin_ctzll(~(bits >> first));
        paintRun(pixel + first, length / 3, ink);
        bits &= ~(((1ULL << length) - 1) << first);
    }
}

// Triangle 2's pixels (`two`) over the rest of the cell's (`both`, the pixels of either
// triangle): the same bytes as painting triangle 1, then triangle 2.
inline void paintCellBits(unsigned char* pixel, unsigned long long both, unsigned long long two,
                          const Ink& first, const Ink& second) {
    paintBits(pixel, both & ~two, first);
    paintBits(pixel, two, second);
}

// Canvas row y is memory row height - 1 - y: rows are stored bottom-up, as the bitmap wants.
inline unsigned char* pixelAt(const VexRowBand& band, long long x, long long y) {
    return band.buffer + ((band.height - 1 - y) * band.width + x) * 3;
}

// The literal line walk keeps its 16.16 rule for major differences up to this; longer lines
// (only on canvases beyond 32768 pixels, or far off the canvas) follow the exact slope.
const long long longestFixedPointLine = 32767;

inline long long floorDiv(long long a, long long d) {
    long long q = a / d;
    return (a % d != 0 && (a < 0) != (d < 0)) ? q - 1 : q;
}

// floor(k * n / d) for 0 <= k <= d < 2^34 and |n| <= d, in two stages so that nothing
// overflows: the literal walk's exact slope.
inline long long floorMulDiv(long long k, long long n, long long d) {
    const long long split = 4194304;
    long long high = (k / split) * n;
    long long highQuotient = floorDiv(high, d);
    long long highRemainder = high - highQuotient * d;
    return highQuotient * split + floorDiv(highRemainder * split + (k % split) * n, d);
}

// One line walked along its major axis from the endpoint with the smaller major coordinate.
// Only the major coordinates that can land in the band are visited: the canvas columns of an
// x-major line, the band's rows of a y-major one. Within the fixed-point rule the accumulator
// after k steps is exactly start + k * step, so starting at the first visible major coordinate
// gives the pixels a walk from the endpoint would.
template <bool xMajor>
void walkLine(const VexRowBand& band, long long majorA, long long minorA, long long majorB,
              long long minorB, const Ink& ink) {
    if (majorA > majorB) {
        long long t = majorA;
        majorA = majorB;
        majorB = t;
        t = minorA;
        minorA = minorB;
        minorB = t;
    }
    const long long lowMajor = xMajor ? 0 : band.rowBegin;
    const long long highMajor = xMajor ? band.width - 1 : band.rowEnd - 1;
    const long long lowMinor = xMajor ? band.rowBegin : 0;
    const long long highMinor = xMajor ? band.rowEnd - 1 : band.width - 1;
    // Every pixel's minor coordinate lies between the endpoints' (the truncated step never
    // overshoots), so a line wholly beyond the band or the canvas has nothing to draw.
    if (most(minorA, minorB) < lowMinor || least(minorA, minorB) > highMinor) {
        return;
    }
    long long first = most(majorA, lowMajor);
    long long last = least(majorB, highMajor);
    long long dMajor = majorB - majorA;
    long long dMinor = minorB - minorA;
    if (dMajor > longestFixedPointLine) {
        for (long long major = first; major <= last; ++major) {
            long long minor = minorA + floorMulDiv(major - majorA, dMinor, dMajor);
            if (minor >= lowMinor && minor <= highMinor) {
                paintPixel(xMajor ? pixelAt(band, major, minor) : pixelAt(band, minor, major), ink);
            }
        }
        return;
    }
    long long step = dMajor == 0 ? 0 : dMinor * 65536 / dMajor;
    long long acc = minorA * 65536 + (first - majorA) * step;
    const long long rowBytes = band.width * 3;
    if (least(minorA, minorB) >= lowMinor && most(minorA, minorB) <= highMinor) {
        // The usual case: every pixel's minor coordinate is on the band, nothing to test.
        if (xMajor) {
            unsigned char* column = pixelAt(band, first, 0);
            for (long long major = first; major <= last; ++major) {
                paintPixel(column - (acc >> 16) * rowBytes, ink);
                column += 3;
                acc += step;
            }
        } else {
            unsigned char* row = pixelAt(band, 0, first);
            for (long long major = first; major <= last; ++major) {
                paintPixel(row + 3 * (acc >> 16), ink);
                row -= rowBytes;
                acc += step;
            }
        }
        return;
    }
    for (long long major = first; major <= last; ++major) {
        // The arithmetic shift is the floor, also for negative accumulators.
        long long minor = acc >> 16;
        acc += step;
        if (minor >= lowMinor && minor <= highMinor) {
            paintPixel(xMajor ? pixelAt(band, major, minor) : pixelAt(band, minor, major), ink);
        }
    }
}

// vexRaster_DrawLine's pixels. Its dispatch (a point, a rejected line, the clipped walk, the
// unclipped runs) always yields the pixels of the walk that are on the canvas, and the walk
// is the same from either end.
inline void walkAnyLine(const VexRowBand& band, int x1, int y1, int x2, int y2, const Ink& ink) {
    long long dx = static_cast<long long>(x2) - x1;
    long long dy = static_cast<long long>(y2) - y1;
    if ((dx < 0 ? -dx : dx) > (dy < 0 ? -dy : dy)) {
        walkLine<true>(band, x1, y1, x2, y2, ink);
    } else {
        walkLine<false>(band, y1, x1, y2, x2, ink);
    }
}

// ---- Triangles ----------------------------------------------------------------------------------
// A filled triangle is its outline lines plus its scan-line fill, all in one colour, so its
// pixels are their union, in any order. The fill's rows are split at the middle vertex: every
// row then has exactly two crossing edges, the longest edge and the short edge beside that row.
// (The literal fill also meets the other short edge at the middle vertex's row, but an edge
// crosses its end row exactly at the end's x, as both short edges do there.) Outline lines that
// are y-major have one pixel per row, computed for a vector of rows beside the crossings and
// merged into the row's span when it touches it.

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
        // (dx * 65536) / dy truncated: below 2^53 in magnitude, so the double quotient is within
        // less than 1/dy of the exact one and truncates to the same integer.
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
    drawTriangle<L>(band, x0, y0, x1, y1, x2, y2, vexFractal_InkOf(colour), 7u);
}

inline void drawLine(const VexRowBand& band, int x1, int y1, int x2, int y2, int colour) {
    walkAnyLine(band, x1, y1, x2, y2, vexFractal_InkOf(colour));
}

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
// origin = xA * 65536 - a * step, the same integer (every term is an integer below 2^50, so
// each sum and product is exact), the sum stepped by `step` from row to row.
// x-major: walked over columns a..b from the endpoint with the smaller x, whose row is origin;
// column x lies on row (origin * 65536 + (x - a) * step) >> 16.
template <class L>
struct LineInLanes {
    typename L::Real xMajor, a, b, origin, step;
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
    // (dMinor * 65536) / dMajor truncated: below 2^53 in magnitude, so the double quotient is
    // within less than 1 / dMajor of the exact one and truncates to the same integer.
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
// B(m + 1) - 1, with s < 0 from 1 - B(m + 1) to -B(m), where B(m) = ceil(m * 65536 / |s|). A
// level line (s = 0) lies on row origin alone; it is read as a rising line with
// |s| = floor(65536 / (b - a + 1)), for which B(m) <= 0 up to m = 0 and B(1) > b - a (b - a is
// below 21 in a cell drawn in one pass), so that its run is a..b on row origin and empty
// elsewhere. B is stepped from row to row exactly: with
// 65536 = Q |s| + R and B(m) |s| = m * 65536 + E (0 <= E < |s|), B(m + 1) is B(m) + Q + 1 where
// R > E, else B(m) + Q. Every value is an integer below 2^53, every operation exact; the first
// B, a quotient of numbers below 2^31 in magnitude for the rows of a cell drawn in one pass, is
// within 2^-22 of the exact one, which lies at least 1 / |s| > 2^-16 from the next integer
// unless it is one: it has the exact quotient's ceiling.
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

    LineRows(const double (&line)[5][L::width], Real y, unsigned lanes) {
        const Real zero = L::splat(0.0);
        const Real one = L::splat(1.0);
        const Real unit = L::splat(65536.0);
        const Real first = L::load(line[1]);
        const Real last = L::load(line[2]);
        const Real origin = L::load(line[3]);
        const Real slope = L::load(line[4]);
        xMajor = L::eq(L::load(line[0]), one);
        yMajor = L::eq(L::load(line[0]), zero);
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

// The set-up of up to L::width consecutive cells of a cell column, one lane a cell, left in
// memory for the cells' rows: both fills and the three lines. Formed in lanes, with no branch on
// a cell's shape.
template <class L>
struct CellGroup {
    // Each lane's triangle 1 and triangle 2.
    FillInLanes<L> fills[2];
    // lines[l][f][k]: cell k's line P0 -> P1, P3 -> P0 or P0 -> P2, field f: xMajor, a, b,
    // origin, step.
    double lines[3][5][L::width];
    // bounds[f][k]: cell k's first and last rows, triangle 1's top and bottom rows, triangle
    // 2's, and the first column of the cell's window (its leftmost column, clamped to the
    // canvas, which keeps every pixel of the cell inside the window).
    double bounds[7][L::width];
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
inline void storeLine(const LineInLanes<L>& line, double (&out)[5][L::width]) {
    L::store(out[0], line.xMajor);
    L::store(out[1], line.a);
    L::store(out[2], line.b);
    L::store(out[3], line.origin);
    L::store(out[4], line.step);
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
    storeLine<L>(cellLine<L>(wx[0], cy[0], wx[1], cy[1]), group.lines[0]);
    storeLine<L>(cellLine<L>(wx[3], cy[3], wx[0], cy[0]), group.lines[1]);
    storeLine<L>(cellLine<L>(wx[0], cy[0], wx[2], cy[2]), group.lines[2]);
    const Real top1 = L::min(L::min(cy[0], cy[1]), cy[2]);
    const Real bottom1 = L::max(L::max(cy[0], cy[1]), cy[2]);
    const Real top2 = L::min(L::min(cy[2], cy[3]), cy[0]);
    const Real bottom2 = L::max(L::max(cy[2], cy[3]), cy[0]);
    const Real yLow = L::min(top1, top2);
    const Real yHigh = L::max(bottom1, bottom2);
    const Real bounds[7] = {yLow, yHigh, top1, bottom1, top2, bottom2, left};
    for (int f = 0; f < 7; ++f) {
        L::store(group.bounds[f], bounds[f]);
    }
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
    static const int capacity = 128;
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
    const Real left = L::load(group.bounds[6]);
    const typename L::Whole low = L::wholeOf(L::splat(0.0) - left);
    const typename L::Whole high = L::wholeOf(L::splat(static_cast<double>(band.width - 1)) - left);
    const Real top1 = L::load(group.bounds[2]);
    const Real bottom1 = L::load(group.bounds[3]);
    const Real top2 = L::load(group.bounds[4]);
    const Real bottom2 = L::load(group.bounds[5]);
    const FillInLanes<L> fill1 = group.fills[0];
    const FillInLanes<L> fill2 = group.fills[1];
    Real y = L::load(firstRows);
    LineRows<L, onCanvas> line01(group.lines[0], y, lanes);
    LineRows<L, onCanvas> line30(group.lines[1], y, lanes);
    LineRows<L, onCanvas> line02(group.lines[2], y, lanes);
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
    unsigned char* row =
        pixelAt(band, static_cast<long long>(group.bounds[6][k]), at.first[k] + from);
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
        usual |= (outlines1[k] == 1u && outlines2[k] == 6u ? 1u : 0u) << k;
    }
    const unsigned lanes = group.onePass & usual;
    RowsInBand<L> at;
    long long tallest = 0;
    for (int k = 0; k < L::width; ++k) {
        // Lanes past the group's cells repeat its last cell.
        const int cell = k < cells ? k : cells - 1;
        at.first[k] = most(static_cast<long long>(group.bounds[0][cell]), band.rowBegin);
        const long long last =
            least(static_cast<long long>(group.bounds[1][cell]), band.rowEnd - 1);
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
void drawOneCell(const VexRowBand& band, const int* x, const int* y, int colour1, int colour2) {
    const int leftX[2] = {x[0], x[3]}, rightX[2] = {x[1], x[2]};
    const int leftY[2] = {y[0], y[3]}, rightY[2] = {y[1], y[2]};
    const CellCorners corners = {leftX, leftY, rightX, rightY, 0};
    CellGroup<L> group;
    setUpCells<L>(corners, 1, static_cast<double>(band.width - 1), group);
    const Ink first = vexFractal_InkOf(colour1);
    const Ink second = vexFractal_InkOf(colour2);
    const Ink* firsts[1] = {&first};
    const Ink* seconds[1] = {&second};
    const unsigned outlines1[1] = {1u};
    const unsigned outlines2[1] = {6u};
    CellRows<L> rows;
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
// less the outline lines whose every pixel a later line of the sweep paints again (a line's
// pixels do not depend on its direction): triangle 1's closing edge P2-P0 is triangle 2's
// P0-P2; its edge P1-P2 is the next column's P3-P0; triangle 2's edge P2-P3 is the next cell's
// P0-P1. Only the last column and the last row keep those lines. Whatever a dropped line
// would have painted is painted over later, so the picture is the same. The cells of a run are
// set up L::width at a time, in lanes, and drawn a group at a time, in order.
template <class L>
void drawCells(const VexCellGrid& grid, const VexCellRun* runs, int count, const VexRowBand& band) {
    const int cellRows = grid.ny - 1;
    const double lastCanvasColumn = static_cast<double>(band.width - 1);
    CellRows<L> rows;
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
                outlines1[k] = lastColumn ? 3u : 1u;
                outlines2[k] = j + 1 == cellRows ? 7u : 6u;
            }
            drawGroup<L>(band, {leftX, leftY, rightX, rightY, j0}, cells, firsts, seconds,
                         outlines1, outlines2, group, rows);
        }
    }
}

// The kernel table of a lane width: one list for every instruction set.
template <class L>
constexpr VexFastKernels kernelTable() {
    return {L::width,     advanceOrbits<L>, shadeColumn<L>, projectColumn<L>,
            drawCells<L>, fillTriangle<L>,  drawLine,       drawOneCell<L>};
}

}  // namespace
