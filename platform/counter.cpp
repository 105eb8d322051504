// The program's performance counter: the monotonic clock, counted in nanoseconds. Linked into
// the program only; the tests link counters of their own.
#include <chrono>

#include "platform/platform.h"

int vexPlatform_QueryPerformanceFrequency(long long* frequency) {
    *frequency = 1000000000LL;
    return 1;
}

int vexPlatform_QueryPerformanceCounter(long long* count) {
    auto sinceEpoch = std::chrono::steady_clock::now().time_since_epoch();
    *count = std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count();
    return 1;
}
