// The program's performance counter on Windows: the system's own performance counter, whose
// frequency is fixed at boot. Linked into the program only; the tests link counters of their own.
#include <windows.h>

#include "platform/platform.h"

int vexPlatform_QueryPerformanceFrequency(long long* frequency) {
    LARGE_INTEGER value;
    if (!QueryPerformanceFrequency(&value) || value.QuadPart <= 0) {
        return 0;
    }
    *frequency = value.QuadPart;
    return 1;
}

int vexPlatform_QueryPerformanceCounter(long long* count) {
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    *count = value.QuadPart;
    return 1;
}
