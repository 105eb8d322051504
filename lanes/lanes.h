// Vector lanes: the width the kernels run in, chosen once from the processor's features, and the
// colour pattern their wide stores copy from. The lane operations themselves are in
// lanes_scalar.h, lanes_avx2.h and lanes_avx512.h, which only the kernel units include.
#pragma once

// A colour repeated over 64 bytes from its red byte on, so that a run of pixels is copied from
// it with a few wide stores: the 3-byte period restarts at every multiple of 3.
struct VexInk {
    unsigned char pattern[64];
};

// Width of the vector lanes the kernels run in: 8 (AVX-512), 4 (AVX2) or 1 (plain scalar code).
// The widest the processor supports is chosen on first use, once, safely from any thread.
int vexLanes_Width();

// Runs the kernels of that width from now on; returns 0, changing nothing, where the processor
// or the build lacks them. Meant for tests and benchmarks, between frames.
int vexLanes_Select(int lanes);
