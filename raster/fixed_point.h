// Fixed-point line arithmetic shared by the literal line walk and the band rasteriser: the
// longest line the 16.16 rule serves and the exact slope beyond it. Includes nothing, so that
// the kernel units can include it after choosing their instruction set; in an anonymous
// namespace, so that those copies never stand in for the plain one (see lanes/lanes_scalar.h).
#pragma once

namespace {

// The fixed-point rule is kept for major differences within the 16-bit range. Its truncated step
// drifts by less than 1/65536 pixel per pixel, so past this length the drift would grow to whole
// pixels; longer lines (only on canvases beyond 32768 pixels, or far off the canvas) follow the
// exact slope instead.
const long long longestFixedPointLine = 32767;

inline long long floorDiv(long long a, long long d) {
    long long q = a / d;
    return (a % d != 0 && (a < 0) != (d < 0)) ? q - 1 : q;
}

// floor(k * n / d) without overflow, for 0 <= k <= d < 2^34 and |n| <= d: the product needs up
// to 68 bits, so k is split at 2^22 and the division done in two stages.
inline long long floorMulDiv(long long k, long long n, long long d) {
    const long long split = 4194304;
    long long high = (k / split) * n;
    long long highQuotient = floorDiv(high, d);
    long long highRemainder = high - highQuotient * d;
    return highQuotient * split + floorDiv(highRemainder * split + (k % split) * n, d);
}

}  // namespace
