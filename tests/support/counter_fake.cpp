// A performance counter the tests drive by hand: present or absent, any frequency, any count.
#include "platform/platform.h"
#include "support/testutil.h"

namespace {
bool counterPresent = true;
long long counterFrequency = 1000000000LL;
long long counterCount = 0;
}  // namespace

void vexTestCounter_Set(bool present, long long frequency, long long count) {
    counterPresent = present;
    counterFrequency = frequency;
    counterCount = count;
}

void vexTestCounter_SetCount(long long count) {
    counterCount = count;
}

int vexPlatform_QueryPerformanceFrequency(long long* frequency) {
    if (!counterPresent) {
        return 0;
    }
    *frequency = counterFrequency;
    return 1;
}

int vexPlatform_QueryPerformanceCounter(long long* count) {
    *count = counterCount;
    return 1;
}
