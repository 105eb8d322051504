// The lane operations of NEON (AArch64 Advanced SIMD): two lanes of doubles. Included by the NEON
// kernel unit after <arm_neon.h> and lanes_scalar.h (see lanes/lanes_scalar.h). Every lane does
// the scalar lanes' operations in the same order; no intrinsic here fuses, and the build forbids
// the compiler to contract a multiply and an add into one.
#pragma once

namespace {

struct NeonLanes {
    typedef float64x2_t Real;
    typedef uint64x2_t Mask;
    static const int width = 2;
    static Real load(const double* p) { return vld1q_f64(p); }
    // The first `count` (1 or 2) ints from p, the last of them repeated in the lane after.
    static Real loadInts(const int* p, int count) {
        const int32x2_t ints = vset_lane_s32(p[count - 1], vdup_n_s32(p[0]), 1);
        return vcvtq_f64_s64(vmovl_s32(ints));
    }
    static void store(double* p, Real v) { vst1q_f64(p, v); }
    static Real splat(double v) { return vdupq_n_f64(v); }
    static Real sqrt(Real a) { return vsqrtq_f64(a); }
    static Real abs(Real a) { return vabsq_f64(a); }
    static Mask ge(Real a, Real b) { return vcgeq_f64(a, b); }
    static Mask eq(Real a, Real b) { return vceqq_f64(a, b); }
    static Mask isNan(Real a) {
        return vreinterpretq_u64_u32(vmvnq_u32(vreinterpretq_u32_u64(vceqq_f64(a, a))));
    }
    static Mask gt(Real a, Real b) { return vcgtq_f64(a, b); }
    static Mask both(Mask a, Mask b) { return vandq_u64(a, b); }
    static unsigned bits(Mask m) {
        return static_cast<unsigned>((vgetq_lane_u64(m, 0) & 1u) | (vgetq_lane_u64(m, 1) & 2u));
    }
    static Real select(Mask m, Real ifSet, Real ifClear) { return vbslq_f64(m, ifSet, ifClear); }
    // As the scalar a < b ? a : b, not the instruction's own minimum, which differs from it for
    // a NaN and for zeros of both signs.
    static Real min(Real a, Real b) { return vbslq_f64(vcltq_f64(a, b), a, b); }
    static Real max(Real a, Real b) { return vbslq_f64(vcgtq_f64(a, b), a, b); }
    static Real trunc(Real a) { return vrndq_f64(a); }
    static Real floor(Real a) { return vrndmq_f64(a); }
    static Real ceil(Real a) { return vrndpq_f64(a); }
    // 0.5 with a's sign: the sign bit of a, the other bits of 0.5.
    static Real halfWithSignOf(Real a) {
        return vbslq_f64(vdupq_n_u64(0x8000000000000000ULL), a, splat(0.5));
    }
    static Real ramp() {
        const double lanes[width] = {0.0, 1.0};
        return vld1q_f64(lanes);
    }
    static void truncate(Real a, int* out) { vst1_s32(out, vmovn_s64(vcvtq_s64_f64(a))); }
    // The lanes of `lanes` one after another, a lane at a time (every lane is written, each
    // over the slot after the last taken).
    static int compress(unsigned lanes, Real a, double* out) {
        out[0] = vgetq_lane_f64(a, 0);
        int n = static_cast<int>(lanes & 1u);
        out[n] = vgetq_lane_f64(a, 1);
        return n + static_cast<int>((lanes >> 1) & 1u);
    }
    static int compressInts(unsigned lanes, const int* in, int* out) {
        out[0] = in[0];
        int n = static_cast<int>(lanes & 1u);
        out[n] = in[1];
        return n + static_cast<int>((lanes >> 1) & 1u);
    }
    // Whole numbers in doubles, as in ScalarLanes.
    typedef float64x2_t Whole;
    static Whole wholeOf(Real a) { return trunc(a); }
    static Whole wholes(double v) { return splat(v); }
    static Whole fixedPointFloor(Whole a) { return floor(vmulq_f64(a, splat(1.0 / 65536.0))); }
    static Mask within(Whole count, Whole limit, Mask m) {
        return both(m, both(ge(count, splat(0.0)), ge(limit, count)));
    }
    typedef const VexInk* Colour;
    static Colour colourOf(const VexInk& ink) { return &ink; }
    static void paintRun(unsigned char* pixel, long long n, Colour ink) {
        ::paintRun(pixel, n, *ink);
    }
    // Byte masks of pixel runs, one 64-bit lane a row (see ScalarLanes).
    typedef uint64x2_t Bits;
    static int64x2_t toInts(Real a) { return vcvtq_s64_f64(a); }
    static Bits spanBits(Real first, Real last, Mask valid) {
        const Real three = splat(3.0);
        const uint64x2_t one = vdupq_n_u64(1);
        // Lanes left out may hold anything; their shifts come to anything, and are masked away.
        const int64x2_t count = toInts((last - first + splat(1.0)) * three);
        const uint64x2_t run = vsubq_u64(vshlq_u64(one, count), one);
        const uint64x2_t bits = vshlq_u64(run, toInts(first * three));
        return vandq_u64(both(valid, ge(last, first)), bits);
    }
    static Bits pixelBitsFrom(Real offset, Mask valid) {
        return vandq_u64(valid, vshlq_u64(vdupq_n_u64(7), toInts(offset * splat(3.0))));
    }
    static Bits orBits(Bits a, Bits b) { return vorrq_u64(a, b); }
    static void storeBits(unsigned long long* out, Bits b) {
        vst1q_u64(reinterpret_cast<uint64_t*>(out), b);
    }

    // 16 bits of a byte mask as 16 bytes of 0xff or 0: byte i is set where bit i is.
    static uint8x16_t byteMask16(unsigned bits) {
        const uint8x16_t eachBit = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
        const uint8x16_t spread = vcombine_u8(vdup_n_u8(static_cast<uint8_t>(bits)),
                                              vdup_n_u8(static_cast<uint8_t>(bits >> 8)));
        return vtstq_u8(spread, eachBit);
    }
    static uint8x8_t byteMask8(unsigned bits) {
        const uint8x8_t eachBit = {1, 2, 4, 8, 16, 32, 64, 128};
        return vtst_u8(vdup_n_u8(static_cast<uint8_t>(bits)), eachBit);
    }
    static void paintChunk8(unsigned char* pixel, long long at, unsigned long long both,
                            unsigned long long two, Colour first, Colour second) {
        const uint8x8_t colour =
            vbsl_u8(byteMask8(static_cast<unsigned>(two >> at) & 0xffu),
                    vld1_u8(second->pattern + at), vld1_u8(first->pattern + at));
        const uint8x8_t chunk = byteMask8(static_cast<unsigned>(both >> at) & 0xffu);
        vst1_u8(pixel + at, vbsl_u8(chunk, colour, vld1_u8(pixel + at)));
    }
    // Triangle 2's bytes where it paints, triangle 1's on the rest of `both`, a 16-byte chunk at a
    // time: each chunk is read, its masked bytes are replaced by a bit select from the colours'
    // patterns, and it is written back, so the bytes outside the mask keep their values. The
    // chunks lie between the window's first byte and the mask's last (the last chunk is moved
    // back to end there), both within the row's own pixels: nothing beyond the pixels the row
    // paints in its line of the frame buffer is read or written, and nothing past the buffer.
    // A mask within the first 16 bytes takes 8-byte chunks, one within the first 8 the scalar
    // stores.
    static void paintCellRow(unsigned char* pixel, unsigned long long both, unsigned long long two,
                             Colour first, Colour second) {
        if (both == 0) {
            return;
        }
        const long long end = 64 - __builtin_clzll(both);
        if (end >= 16) {
            for (long long start = 0; start < end; start += 16) {
                const long long at = start + 16 <= end ? start : end - 16;
                const unsigned chunk = static_cast<unsigned>(both >> at) & 0xffffu;
                if (chunk == 0) {
                    continue;
                }
                const uint8x16_t colour =
                    vbslq_u8(byteMask16(static_cast<unsigned>(two >> at) & 0xffffu),
                             vld1q_u8(second->pattern + at), vld1q_u8(first->pattern + at));
                vst1q_u8(pixel + at, vbslq_u8(byteMask16(chunk), colour, vld1q_u8(pixel + at)));
            }
        } else if (end >= 8) {
            paintChunk8(pixel, 0, both, two, first, second);
            paintChunk8(pixel, end - 8, both, two, first, second);
        } else {
            ::paintCellBits(pixel, both, two, *first, *second);
        }
    }
    // The chunks above already stay within the masks' reach; no wider write is needed.
    static const bool paintsWindows = false;
    static void paintCellWindow(unsigned char* pixel, unsigned long long both,
                                unsigned long long two, Colour first, Colour second) {
        paintCellRow(pixel, both, two, first, second);
    }
};

}  // namespace
