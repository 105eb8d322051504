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

// The height of an orbit that escaped after n iterations with |z|^2 = s: the height function's
// log10(s) / 2^n, as log10(s) * 2^-n. Both are the exact value log10(s) * 2^-n rounded once,
// so they are the same double; the multiplication takes a fraction of the division's time.
// Clamping v to 1 is clamping 1 - v to +0: 1 - v is negative exactly when v > 1, and 1 - 1 is
// +0 (a NaN would stay NaN either way). Written so, the clamp needs no branch.
inline double escapedHeight(double s, int n) {
    double h = 1.0 - std::log10(s) * powerOfTwo(-n);
    return 0.0 > h ? 0.0 : h;
}

// The iteration count from which an orbit's height is exactly 1, whether it escapes later or
// never. An orbit that passes the escape test at n - 1 has |z|^2 < 10000 there, so the next
// |z|^2 is below (10000 + |c|)^2 with |c| < 100 (a larger c escapes at n = 0): on escape at
// n >= 58, log10(s) < 8.01 and v = log10(s) / 2^n < 8.01 / 2^58 < 2^-54, and 1 - v, which lies
// above the midpoint 1 - 2^-54 between 1 and the double below it, rounds to 1. An orbit that
// never escapes gets 1 from the cap. (At n = 57 the bound would be 8.01 / 2^57 > 2^-54.)
const int settledAt = 58;

}  // namespace
