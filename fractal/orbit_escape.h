// The height of an orbit that escaped, as the orbit kernel computes it, and the iteration from
// which every orbit still going has height 1. Kept apart so that the tests check these very
// functions. Includes nothing: its includer has included <cmath>. Anonymous namespace: see
// lanes/lanes_scalar.h.
#pragma once

namespace {

// 2^n for -1022 <= n <= 1023, built from its bits: exactly what pow(2.0, n) returns there (a
// test checks every n), without the call.
inline double powerOfTwo(int n) {
    unsigned long long bits = static_cast<unsigned long long>(n + 1023) << 52;
    double value;
    __builtin_memcpy(&value, &bits, sizeof value);
    return value;
}

// The height of an orbit that escaped after n iterations with |z|^2 = s, bit for bit the height
// function's: log10(s) / 2^n as log10(s) * 2^-n (a fraction of the division's time), the clamp
// of v to 1 as a clamp of 1 - v to +0 (no branch). Why they agree: docs/performance.md,
// "Escaped heights".
inline double escapedHeight(double s, int n) {
    double h = 1.0 - std::log10(s) * powerOfTwo(-n);
    return 0.0 > h ? 0.0 : h;
}

// The iteration count from which an orbit's height is exactly 1, whether it escapes later or
// never: any escape from then on leaves log10(s) / 2^n below half a unit in the last place of 1.
// The proof: docs/performance.md, "Settling at iteration 58".
const int settledAt = 58;

}  // namespace
