// A platform without a high-resolution counter: the program's no-timer path.
#include "platform/platform.h"

int vexPlatform_QueryPerformanceFrequency(long long*) {
    return 0;
}

int vexPlatform_QueryPerformanceCounter(long long* count) {
    *count = 0;
    return 1;
}
