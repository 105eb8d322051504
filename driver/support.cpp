// Support routines: the fatal-error exit, zeroing allocation and release, text-file append and
// rounding. They keep no state.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "driver/driver.h"

void vexError_Fatal(const char* message) {
    std::printf("%s\n", message);
    std::exit(-1);
}

int vexFile_AppendLine(const char* fileName, const char* text) {
    std::FILE* file = std::fopen(fileName, "at");
    if (file == nullptr) {
        std::fprintf(stderr, "Cannot open input file.\n");
        return -1;
    }
    // Where a regular file ended before this append: a failed append is cut back to it, so the
    // file never keeps half a text (a statistics box torn off at the end of a full disk).
    struct stat before;
    bool restorable = fstat(fileno(file), &before) == 0 && S_ISREG(before.st_mode);

    // The text goes out a character at a time; any failed write, the flush or the close
    // turns the whole append into a failure, so a full disk never loses statistics silently.
    bool failed = false;
    for (const char* c = text; *c != '\0'; ++c) {
        failed |= std::fprintf(file, "%c", *c) < 0;
    }
    failed |= std::fprintf(file, "\n") < 0;
    failed |= std::fflush(file) != 0;
    // The close may try the unwritten rest once more, so the cut is made after it, through a
    // second descriptor of the same file.
    int kept = restorable ? dup(fileno(file)) : -1;
    failed |= std::fclose(file) != 0;
    if (kept >= 0) {
        if (failed && ftruncate(kept, before.st_size) != 0) {
            std::fprintf(stderr, "Cannot restore file %s.\n", fileName);
        }
        close(kept);
    }
    if (failed) {
        std::fprintf(stderr, "Cannot write file %s.\n", fileName);
        return -1;
    }
    return 0;
}

void* vexMemory_Calloc(int size) {
    // A negative size is a caller's arithmetic gone wrong; it is refused like a failed request
    // rather than turned into a huge unsigned count.
    void* block = size >= 0 ? std::calloc(static_cast<size_t>(size), 1) : nullptr;
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
    std::free(block);
    return 0;
}

int vexMath_Round(double value) {
    double t = value > 0 ? value + 0.5 : -(0.5 - value);
    // Conversion of a value outside the int range is undefined; hold it at the nearest end.
    if (std::isnan(t)) {
        return 0;
    }
    if (t >= 2147483648.0) {
        return INT_MAX;
    }
    if (t <= -2147483649.0) {
        return INT_MIN;
    }
    return static_cast<int>(t);
}
