// Vector lanes: the colour pattern that the lanes' wide stores copy from. The lane operations
// themselves are in lanes_scalar.h, lanes_neon.h, lanes_avx2.h and lanes_avx512.h, which only the
// kernel units include; kernels/kernels.h chooses among the kernels built on them.
#pragma once

// The processor's cache line, as wide as the widest lane store.
constexpr long long vexCacheLineBytes = 64;

// A colour repeated over 64 bytes from its red byte on, so that a run of pixels is copied from
// it with a few wide stores: the 3-byte period restarts at every multiple of 3.
struct VexInk {
    unsigned char pattern[64];
};
