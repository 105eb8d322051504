// Processor features, asked of the processor once.
#include "platform/platform.h"

namespace {

int detectFeatures() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    int features = 0;
    if (__builtin_cpu_supports("avx2")) {
        features |= vexCpuAvx2;
    }
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq")) {
        features |= vexCpuAvx512;
    }
    return features;
#else
    return 0;
#endif
}

}  // namespace

int vexPlatform_CpuFeatures() {
    // A function-local static is initialised once, whichever threads ask first.
    static const int features = detectFeatures();
    return features;
}
