// The lane operations of plain scalar code, one lane: the reference shape of every kernel and
// the tail of each row; and the byte-pattern stores that paint runs of pixels.
//
// A kernel unit includes this, the wider lanes and the kernel bodies after choosing its
// instruction set. They include nothing themselves: the unit has already included what they
// need (<cmath>, <immintrin.h>, the modules' headers) before switching its target, so that no
// inline code of a library header is ever compiled for a wider instruction set than the program
// may use. Everything is in an anonymous namespace, so that the copies compiled for different
// instruction sets never stand in for one another at link time.
#pragma once

namespace {

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

// One lane, plain scalar code.
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
    // The same, where all 64 bytes from `pixel` lie in one canvas row (see Avx2Lanes); run by
    // run here too.
    static const bool paintsWindows = false;
    static void paintCellWindow(unsigned char* pixel, unsigned long long both,
                                unsigned long long two, Colour first, Colour second) {
        ::paintCellBits(pixel, both, two, *first, *second);
    }
};

}  // namespace
