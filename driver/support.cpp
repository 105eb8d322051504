// Support routines: the fatal-error exit, zeroing allocation and release (large blocks on
// huge-page boundaries, from the platform layer), text-file append and rounding. None keeps state.
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/driver.h"
#include "driver/driver_internal.h"
#include "platform/platform.h"

void vexError_Fatal(const char* message) {
    std::printf("%s\n", message);
    std::exit(-1);
}

int vexFile_AppendLine(const char* fileName, const char* text) {
    // The text and its newline go out in one append: a failed write is cut back to the file's
    // earlier end, so the file never keeps half a text (a statistics box torn off at the end of
    // a full disk), and a full disk never loses statistics silently.
    VexFilePiece pieces[2] = {{text, static_cast<long long>(std::strlen(text))}, {"\n", 1}};
    switch (vexPlatform_AppendToFile(fileName, pieces, 2)) {
        case vexAppendWritten:
            return 0;
        case vexAppendNotOpened:
            std::fprintf(stderr, "Cannot open input file.\n");
            return -1;
        case vexAppendNotRestored:
            std::fprintf(stderr, "Cannot restore file %s.\n", fileName);
            break;
        case vexAppendNotWritten:
            break;
    }
    std::fprintf(stderr, "Cannot write file %s.\n", fileName);
    return -1;
}

void* vexMemory_Calloc(int size) {
    // A negative size is a caller's arithmetic gone wrong; it is refused like a failed request
    // rather than turned into a huge unsigned count.
    void* block = nullptr;
    // Blocks from this size up (the frame buffer) come straight from the system on a huge-page
    // boundary: the first touch of the frame then costs a few dozen faults instead of twenty
    // thousand. Smaller ones, and any the system will not map, come from the heap.
    if (size >= vexMemoryLargeBlockBytes) {
        block = vexPlatform_AllocateLargeBlock(size);
    }
    if (block == nullptr && size >= 0) {
        block = std::calloc(static_cast<size_t>(size), 1);
    }
    if (block == nullptr && size != 0) {
        char message[256];
        std::snprintf(message, sizeof message, "out of memory (vexMemory_Calloc %x bytes)",
                      static_cast<unsigned int>(size));
        vexError_Fatal(message);
    }
    if (block == nullptr) {
        // A zero-byte request may legitimately yield null; hand back a real block instead.
        block = std::calloc(1, 1);
        if (block == nullptr) {
            vexError_Fatal("out of memory (vexMemory_Calloc 0 bytes)");
        }
    }
    return block;
}

int vexMemory_Free(void* block) {
    if (block == nullptr) {
        vexError_Fatal("attempting to free a null pointer (vexMemory_Free)");
    }
    if (!vexPlatform_ReleaseLargeBlock(block)) {
        std::free(block);
    }
    return 0;
}

int vexMath_Truncate(double value) {
    // Converting a value outside the int range is undefined; hold it at the nearest end.
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 2147483648.0) {
        return INT_MAX;
    }
    if (value <= -2147483649.0) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

int vexMath_Round(double value) {
    double t = value > 0 ? value + 0.5 : -(0.5 - value);
    return vexMath_Truncate(t);
}
