// Processor features and the core count. The feature test is the compiler's own, on x86-64;
// AArch64 always has NEON; other processors report none of these features and run the plain
// kernels.
#include <thread>

#include "platform/platform.h"

namespace {

int detectFeatures() {
    int features = 0;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        features |= vexCpuAvx2;
    }
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq")) {
        features |= vexCpuAvx512;
    }
#endif
#if defined(__aarch64__)
    features |= vexCpuNeon;
#endif
    return features;
}

}  // namespace

int vexPlatform_CpuFeatures() {
    // A function-local static is initialised exactly once, even when threads race to it.
    static const int features = detectFeatures();
    return features;
}

int vexPlatform_CoreCount() {
    unsigned int cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
}
