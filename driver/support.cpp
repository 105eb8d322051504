// Support routines: the fatal-error exit, zeroing allocation and release (large blocks mapped on
// huge-page boundaries), text-file append and rounding. Only the allocator keeps state.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "driver/driver.h"

namespace {

// Blocks from this size up (the frame buffer) are mapped straight from the system on a 2 MiB
// boundary and the kernel is advised to back them with huge pages where it offers them: the
// first touch of the frame then costs a few dozen faults instead of twenty thousand. Fresh
// anonymous pages are zero, so such a block needs no clearing.
const size_t largeBlockBytes = 2u << 20;
const size_t hugePageBytes = 2u << 20;

// The mapped blocks still held, so that vexMemory_Free can tell them from the heap's. The
// program holds one; when every record is taken, a block simply comes from the heap.
struct MappedBlock {
    void* start;
    size_t length;
};
const int mappedBlockCapacity = 16;
MappedBlock mappedBlocks[mappedBlockCapacity];
std::mutex mappedBlocksLock;

// A zeroed block on a huge-page boundary, or null when the system refuses the mapping or no
// record is free (the caller then asks the heap).
void* mapLargeBlock(size_t size) {
    size_t pageBytes = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t length = (size + pageBytes - 1) / pageBytes * pageBytes;
    std::lock_guard<std::mutex> hold(mappedBlocksLock);
    MappedBlock* record = nullptr;
    for (MappedBlock& candidate : mappedBlocks) {
        if (candidate.start == nullptr) {
            record = &candidate;
            break;
        }
    }
    if (record == nullptr) {
        return nullptr;
    }
    // Map one huge page more than needed, then give back the slack before the boundary and
    // after the block.
    size_t reserved = length + hugePageBytes;
    void* raw = mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) {
        return nullptr;
    }
    std::uintptr_t rawStart = reinterpret_cast<std::uintptr_t>(raw);
    std::uintptr_t start = (rawStart + hugePageBytes - 1) & ~(std::uintptr_t{hugePageBytes} - 1);
    if (start > rawStart) {
        munmap(raw, start - rawStart);
    }
    std::uintptr_t end = start + length;
    if (rawStart + reserved > end) {
        munmap(reinterpret_cast<void*>(end), rawStart + reserved - end);
    }
#ifdef MADV_HUGEPAGE
    // Only advice: a kernel without huge pages refuses it and the block keeps ordinary ones.
    madvise(reinterpret_cast<void*>(start), length, MADV_HUGEPAGE);
#endif
    record->start = reinterpret_cast<void*>(start);
    record->length = length;
    return record->start;
}

// Unmaps the block if it is a mapped one; false if it came from the heap.
bool unmapLargeBlock(void* block) {
    std::lock_guard<std::mutex> hold(mappedBlocksLock);
    for (MappedBlock& record : mappedBlocks) {
        if (record.start == block) {
            munmap(record.start, record.length);
            record.start = nullptr;
            record.length = 0;
            return true;
        }
    }
    return false;
}

}  // namespace

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
    void* block = nullptr;
    if (size >= 0 && static_cast<size_t>(size) >= largeBlockBytes) {
        block = mapLargeBlock(static_cast<size_t>(size));
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
    if (!unmapLargeBlock(block)) {
        std::free(block);
    }
    return 0;
}

int vexCpu_CoreCount() {
    unsigned int cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
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
