// Platform layer: what differs between operating systems behind plain functions; the rest of
// the program is standard C++.
#pragma once

// ---- The program's own files --------------------------------------------------------------------

// Writes the absolute path of the folder holding the running program's executable, without a
// trailing separator, into out (size bytes, terminating zero included) and returns 1; returns 0,
// leaving out an empty string when size allows, when the system does not tell or the path does
// not fit.
int vexPlatform_ExecutableFolder(char* out, int size);

// Processor features the kernels need, as a bit set.
enum VexCpuFeature { vexCpuAvx2 = 1, vexCpuAvx512 = 2 };

// The features of this processor: vexCpuAvx2 for AVX2, vexCpuAvx512 for AVX-512 F, BW, VL and
// DQ together; 0 on processors without them (any other than x86). Computed once, safely from
// any thread.
int vexPlatform_CpuFeatures();
