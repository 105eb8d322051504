// The lane operations of AVX2: four lanes of doubles. Included by the AVX2 kernel unit after
// <immintrin.h> and lanes_scalar.h, inside its target region (see lanes/lanes_scalar.h). No
// fused multiply-add: the build forbids contraction, and no intrinsic here fuses.
#pragma once

namespace {

struct Avx2Lanes {
    typedef __m256d Real;
    typedef __m256d Mask;
    static const int width = 4;
    static Real load(const double* p) { return _mm256_loadu_pd(p); }
    // The first `count` (1 to 4) ints from p, the last of them repeated in the lanes after.
    static Real loadInts(const int* p, int count) {
        const __m128i lane = _mm_set_epi32(3, 2, 1, 0);
        const __m128i loaded = _mm_maskload_epi32(p, _mm_cmpgt_epi32(_mm_set1_epi32(count), lane));
        const __m128i index = _mm_min_epi32(lane, _mm_set1_epi32(count - 1));
        return _mm256_cvtepi32_pd(
            _mm_castps_si128(_mm_permutevar_ps(_mm_castsi128_ps(loaded), index)));
    }
    static void store(double* p, Real v) { _mm256_storeu_pd(p, v); }
    static Real splat(double v) { return _mm256_set1_pd(v); }
    static Real sqrt(Real a) { return _mm256_sqrt_pd(a); }
    static Real abs(Real a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
    static Mask ge(Real a, Real b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
    static Mask eq(Real a, Real b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
    static Mask isNan(Real a) { return _mm256_cmp_pd(a, a, _CMP_UNORD_Q); }
    static Mask gt(Real a, Real b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
    static Mask both(Mask a, Mask b) { return _mm256_and_pd(a, b); }
    static unsigned bits(Mask m) { return static_cast<unsigned>(_mm256_movemask_pd(m)); }
    static Real min(Real a, Real b) { return _mm256_min_pd(a, b); }
    static Real max(Real a, Real b) { return _mm256_max_pd(a, b); }
    static Real trunc(Real a) { return _mm256_round_pd(a, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }
    static Real floor(Real a) {
        return _mm256_round_pd(a, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    }
    static Real ceil(Real a) {
        return _mm256_round_pd(a, _MM_FROUND_TO_POS_INF | _MM_FROUND_NO_EXC);
    }
    static Real halfWithSignOf(Real a) {
        return _mm256_or_pd(_mm256_and_pd(a, _mm256_set1_pd(-0.0)), _mm256_set1_pd(0.5));
    }
    static Real ramp() { return _mm256_set_pd(3, 2, 1, 0); }
    static Real select(Mask m, Real ifSet, Real ifClear) {
        return _mm256_blendv_pd(ifClear, ifSet, m);
    }
    static void truncate(Real a, int* out) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_cvttpd_epi32(a));
    }
    // The lanes of `lanes` one after another, a lane at a time (every lane is written, each
    // over the slot after the last taken).
    static int compress(unsigned lanes, Real a, double* out) {
        double in[width];
        _mm256_storeu_pd(in, a);
        int n = 0;
        for (int k = 0; k < width; ++k) {
            out[n] = in[k];
            n += (lanes >> k) & 1u;
        }
        return n;
    }
    static int compressInts(unsigned lanes, const int* in, int* out) {
        int n = 0;
        for (int k = 0; k < width; ++k) {
            out[n] = in[k];
            n += (lanes >> k) & 1u;
        }
        return n;
    }
    // Whole numbers in doubles, as in ScalarLanes.
    typedef __m256d Whole;
    static Whole wholeOf(Real a) { return trunc(a); }
    static Whole wholes(double v) { return splat(v); }
    static Whole fixedPointFloor(Whole a) { return floor(_mm256_mul_pd(a, splat(1.0 / 65536.0))); }
    static Mask within(Whole count, Whole limit, Mask m) {
        return both(m, both(ge(count, splat(0.0)), ge(limit, count)));
    }
    typedef const VexInk* Colour;
    static Colour colourOf(const VexInk& ink) { return &ink; }
    static void paintRun(unsigned char* pixel, long long n, Colour ink) {
        ::paintRun(pixel, n, *ink);
    }
    // Byte masks of pixel runs, one 64-bit lane a row (see ScalarLanes).
    typedef __m256i Bits;
    static __m256i toInts(Real a) { return _mm256_cvtepi32_epi64(_mm256_cvttpd_epi32(a)); }
    static Bits spanBits(Real first, Real last, Mask valid) {
        const Real three = splat(3.0);
        const __m256i one = _mm256_set1_epi64x(1);
        // Lanes left out may hold anything; their shifts come to 0 or are masked away.
        __m256i count = toInts((last - first + splat(1.0)) * three);
        __m256i run = _mm256_sub_epi64(_mm256_sllv_epi64(one, count), one);
        __m256i bits = _mm256_sllv_epi64(run, toInts(first * three));
        return _mm256_and_si256(_mm256_castpd_si256(both(valid, ge(last, first))), bits);
    }
    static Bits pixelBitsFrom(Real offset, Mask valid) {
        __m256i bits = _mm256_sllv_epi64(_mm256_set1_epi64x(7), toInts(offset * splat(3.0)));
        return _mm256_and_si256(_mm256_castpd_si256(valid), bits);
    }
    static Bits orBits(Bits a, Bits b) { return _mm256_or_si256(a, b); }
    static void storeBits(unsigned long long* out, Bits b) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), b);
    }
    static void paintCellRow(unsigned char* pixel, unsigned long long both, unsigned long long two,
                             Colour first, Colour second) {
        ::paintCellBits(pixel, both, two, *first, *second);
    }
    // 32 bits of a byte mask as 32 bytes, 0xff where the bit is set.
    static __m256i bytesOf(unsigned bits) {
        const __m256i spread =
            _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(bits)),
                                _mm256_setr_epi64x(0, 0x0101010101010101LL, 0x0202020202020202LL,
                                                   0x0303030303030303LL));
        const __m256i bit = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
        return _mm256_cmpeq_epi8(_mm256_and_si256(spread, bit), bit);
    }
    static const bool paintsWindows = true;
    // The same, where all 64 bytes from `pixel` lie in one canvas row, which only the thread
    // drawing its band writes: the bytes outside the mask are read and written back unchanged
    // (docs/performance.md, "Cells in one pass").
    static void paintCellWindow(unsigned char* pixel, unsigned long long both,
                                unsigned long long two, Colour first, Colour second) {
        for (int half = 0; half < 2; ++half) {
            unsigned char* at = pixel + 32 * half;
            const unsigned shift = 32u * static_cast<unsigned>(half);
            const __m256i inks = _mm256_blendv_epi8(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(first->pattern + 32 * half)),
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(second->pattern + 32 * half)),
                bytesOf(static_cast<unsigned>(two >> shift)));
            const __m256i old = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
            _mm256_storeu_si256(
                reinterpret_cast<__m256i*>(at),
                _mm256_blendv_epi8(old, inks, bytesOf(static_cast<unsigned>(both >> shift))));
        }
    }
};

}  // namespace
