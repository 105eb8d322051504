// The run-time choice of the kernels: the widest set that the build holds and the processor
// supports, chosen once; and each module's view of the chosen set.
#include <atomic>

#include "kernels/kernels.h"
#include "platform/platform.h"

namespace {

// The sets this build holds, widest first, each with the processor features it needs. The
// build defines VEX_KERNELS_<SET> for every kernel unit it compiles beside the scalar one.
struct Candidate {
    const VexKernels* kernels;
    int features;
};
const Candidate candidates[] = {
#ifdef VEX_KERNELS_AVX512
    {&vexKernelsAvx512, vexCpuAvx512},
#endif
#ifdef VEX_KERNELS_AVX2
    {&vexKernelsAvx2, vexCpuAvx2},
#endif
#ifdef VEX_KERNELS_NEON
    {&vexKernelsNeon, vexCpuNeon},
#endif
    {&vexKernelsScalar, 0},
};

bool supported(const Candidate& candidate) {
    return (vexPlatform_CpuFeatures() & candidate.features) == candidate.features;
}

const VexKernels* widest() {
    for (const Candidate& candidate : candidates) {
        if (supported(candidate)) {
            return candidate.kernels;
        }
    }
    return &vexKernelsScalar;
}

// The set in use: the widest, chosen on first use (a function-local static is initialised
// once, whichever threads ask); vexKernels_SelectLanes changes it between frames.
std::atomic<const VexKernels*>& active() {
    static std::atomic<const VexKernels*> kernels{widest()};
    return kernels;
}

const VexKernels& inUse() {
    return *active().load(std::memory_order_acquire);
}

}  // namespace

int vexKernels_Lanes() {
    return inUse().lanes;
}

int vexKernels_SelectLanes(int lanes) {
    for (const Candidate& candidate : candidates) {
        if (candidate.kernels->lanes == lanes && supported(candidate)) {
            active().store(candidate.kernels, std::memory_order_release);
            return 1;
        }
    }
    return 0;
}

const VexOrbitKernels& vexFractal_OrbitKernels() {
    return inUse().orbits;
}

const VexCornerKernels& vex3D_CornerKernels() {
    return inUse().corners;
}

const VexBandKernels& vexRaster_BandKernels() {
    return inUse().bands;
}
