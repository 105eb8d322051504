// The platform layer: what differs between processors and systems, behind one header.
#pragma once

// Processor features the kernels need, as a bit set.
enum VexCpuFeature { vexCpuAvx2 = 1, vexCpuAvx512 = 2 };

// The features of this processor: vexCpuAvx2 for AVX2, vexCpuAvx512 for AVX-512 F, BW, VL and
// DQ together; 0 on processors without them (any other than x86). Computed once, safely from
// any thread.
int vexPlatform_CpuFeatures();
