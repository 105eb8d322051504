// The lane operations of AVX-512 (F, BW, VL and DQ): eight lanes of doubles. Included by the
// AVX-512 kernel unit after <immintrin.h> and lanes_scalar.h, inside its target region (see
// lanes/lanes_scalar.h). No fused multiply-add: the build forbids contraction, and no intrinsic
// here fuses.
#pragma once

namespace {

struct Avx512Lanes {
    typedef __m512d Real;
    typedef __mmask8 Mask;
    static const int width = 8;
    static Real load(const double* p) { return _mm512_loadu_pd(p); }
    // The first `count` (1 to 8) ints from p, the last of them repeated in the lanes after.
    static Real loadInts(const int* p, int count) {
        const __m256i lane = _mm256_set_epi32(7, 6, 5, 4, 3, 2, 1, 0);
        const __m256i loaded =
            _mm256_maskz_loadu_epi32(static_cast<__mmask8>((1u << count) - 1), p);
        const __m256i index = _mm256_min_epi32(lane, _mm256_set1_epi32(count - 1));
        return _mm512_maskz_cvtepi32_pd(0xff, _mm256_permutexvar_epi32(index, loaded));
    }
    static void store(double* p, Real v) { _mm512_storeu_pd(p, v); }
    static Real splat(double v) { return _mm512_set1_pd(v); }
    // The masked forms with a defined source: the unmasked ones start from an undefined
    // register, which this compiler reports as possibly uninitialised.
    static Real sqrt(Real a) { return _mm512_mask_sqrt_pd(a, 0xff, a); }
    static Real abs(Real a) { return _mm512_abs_pd(a); }
    static Mask ge(Real a, Real b) { return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ); }
    static Mask eq(Real a, Real b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
    static Mask isNan(Real a) { return _mm512_cmp_pd_mask(a, a, _CMP_UNORD_Q); }
    static Mask gt(Real a, Real b) { return _mm512_cmp_pd_mask(a, b, _CMP_GT_OQ); }
    static Mask both(Mask a, Mask b) { return a & b; }
    static unsigned bits(Mask m) { return m; }
    static Real min(Real a, Real b) { return _mm512_mask_min_pd(a, 0xff, a, b); }
    static Real max(Real a, Real b) { return _mm512_mask_max_pd(a, 0xff, a, b); }
    static Real trunc(Real a) {
        return _mm512_mask_roundscale_pd(a, 0xff, a, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    }
    static Real floor(Real a) {
        return _mm512_mask_roundscale_pd(a, 0xff, a, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    }
    static Real ceil(Real a) {
        return _mm512_mask_roundscale_pd(a, 0xff, a, _MM_FROUND_TO_POS_INF | _MM_FROUND_NO_EXC);
    }
    // 0.5 with a's sign: the sign bit of a, the other bits of 0.5.
    static Real halfWithSignOf(Real a) {
        return _mm512_castsi512_pd(_mm512_ternarylogic_epi64(
            _mm512_castpd_si512(a), _mm512_set1_epi64(0x8000000000000000LL),
            _mm512_castpd_si512(splat(0.5)), 0xea));
    }
    static Real ramp() { return _mm512_set_pd(7, 6, 5, 4, 3, 2, 1, 0); }
    static Real select(Mask m, Real ifSet, Real ifClear) {
        return _mm512_mask_blend_pd(m, ifClear, ifSet);
    }
    static void truncate(Real a, int* out) {
        __m256i truncated = _mm512_mask_cvttpd_epi32(_mm256_setzero_si256(), 0xff, a);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), truncated);
    }
    // The lanes of `lanes` one after another: compressed in a register, then one masked store
    // of as many lanes (a compressing store straight to memory is microcoded on some
    // processors, and many times slower).
    static int compress(unsigned lanes, Real a, double* out) {
        const int n = __builtin_popcount(lanes & 0xffu);
        _mm512_mask_storeu_pd(out, static_cast<__mmask8>((1u << n) - 1),
                              _mm512_maskz_compress_pd(static_cast<__mmask8>(lanes), a));
        return n;
    }
    static int compressInts(unsigned lanes, const int* in, int* out) {
        const int n = __builtin_popcount(lanes & 0xffu);
        const __m256i ints = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
        _mm256_mask_storeu_epi32(out, static_cast<__mmask8>((1u << n) - 1),
                                 _mm256_maskz_compress_epi32(static_cast<__mmask8>(lanes), ints));
        return n;
    }
    // Whole numbers, one 64-bit integer a lane: their sums, differences, comparisons and
    // shifts run on the integer units, beside the doubles' arithmetic.
    typedef __m512i Whole;
    static Whole wholeOf(Real a) { return _mm512_maskz_cvttpd_epi64(0xff, a); }
    static Whole wholes(double v) { return _mm512_set1_epi64(static_cast<long long>(v)); }
    // floor(a / 65536): the arithmetic shift rounds toward minus infinity.
    static Whole fixedPointFloor(Whole a) { return _mm512_mask_srai_epi64(a, 0xff, a, 16); }
    // 0 <= count <= limit is one unsigned comparison: a negative count is a huge one.
    static Mask within(Whole count, Whole limit, Mask m) {
        return _mm512_mask_cmple_epu64_mask(m, count, limit);
    }
    static Mask ge(Whole a, Whole b) { return _mm512_cmpge_epi64_mask(a, b); }
    static Mask gt(Whole a, Whole b) { return _mm512_cmpgt_epi64_mask(a, b); }
    static Whole min(Whole a, Whole b) { return _mm512_mask_min_epi64(a, 0xff, a, b); }
    static Whole max(Whole a, Whole b) { return _mm512_mask_max_epi64(a, 0xff, a, b); }
    static Whole select(Mask m, Whole ifSet, Whole ifClear) {
        return _mm512_mask_blend_epi64(m, ifClear, ifSet);
    }
    static void truncate(Whole a, int* out) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                            _mm512_mask_cvtepi64_epi32(_mm256_setzero_si256(), 0xff, a));
    }
    // A run of pixels is one masked store from the colour's pattern, with no branch on its
    // exact length: 16 bytes for the usual run of up to 5 pixels (a wider store would more often
    // straddle cache lines and pages for nothing), 64 bytes for up to 21.
    struct Colour {
        __m128i narrow;
        __m512i wide;
    };
    static Colour colourOf(const VexInk& ink) {
        Colour colour = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(ink.pattern)),
                         _mm512_loadu_si512(ink.pattern)};
        return colour;
    }
    static void paintRun(unsigned char* pixel, long long n, const Colour& colour) {
        if (n <= 5) {
            _mm_mask_storeu_epi8(pixel, static_cast<__mmask16>((1U << (3 * n)) - 1), colour.narrow);
            return;
        }
        for (; n > 21; n -= 21, pixel += 63) {
            _mm512_mask_storeu_epi8(pixel, 0x7fffffffffffffffULL, colour.wide);
        }
        _mm512_mask_storeu_epi8(pixel, (1ULL << (3 * n)) - 1, colour.wide);
    }
    // Byte masks of pixel runs, one 64-bit lane a row (see ScalarLanes).
    typedef __m512i Bits;
    static Whole times3(Whole a) { return a + a + a; }
    static Bits spanBits(Whole first, Whole last, Mask valid) {
        const __m512i ones = _mm512_set1_epi64(-1);
        // The bits from the first pixel's up, less those past the last pixel's: none when
        // last < first. Lanes left out may hold anything; they are masked away.
        __m512i from = _mm512_maskz_sllv_epi64(0xff, ones, times3(first));
        __m512i past = _mm512_maskz_sllv_epi64(0xff, ones, times3(last + _mm512_set1_epi64(1)));
        return _mm512_maskz_andnot_epi64(valid, past, from);
    }
    static Bits pixelBitsFrom(Whole offset, Mask valid) {
        return _mm512_maskz_sllv_epi64(valid, _mm512_set1_epi64(7), times3(offset));
    }
    static Bits orBits(Bits a, Bits b) { return _mm512_or_si512(a, b); }
    static void storeBits(unsigned long long* out, Bits b) { _mm512_storeu_si512(out, b); }
    // Triangle 2's bytes where it paints, triangle 1's on the rest of `both`, in one masked store.
    static void paintCellRow(unsigned char* pixel, unsigned long long both, unsigned long long two,
                             const Colour& first, const Colour& second) {
        _mm512_mask_storeu_epi8(pixel, both, _mm512_mask_blend_epi8(two, first.wide, second.wide));
    }
    // A masked store writes only the masks' bytes; no wider write is needed.
    static const bool paintsWindows = false;
    static void paintCellWindow(unsigned char* pixel, unsigned long long both,
                                unsigned long long two, const Colour& first, const Colour& second) {
        paintCellRow(pixel, both, two, first, second);
    }
};

}  // namespace
