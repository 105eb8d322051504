// Large blocks of memory mapped straight from the system on a huge-page boundary, with the
// advice to back them with huge pages: the first touch of the frame buffer then costs a few
// dozen faults instead of twenty thousand. Fresh anonymous pages are zero, so a block needs no
// clearing.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/platform.h"

namespace {

const size_t hugePageBytes = 2u << 20;

// The mapped blocks still held, so that a release can tell them from the heap's. The program
// holds one; when every record is taken, the allocation is refused and the caller uses the heap.
struct MappedBlock {
    void* start;
    size_t length;
};
const int mappedBlockCapacity = 16;
MappedBlock mappedBlocks[mappedBlockCapacity];
std::mutex mappedBlocksLock;

}  // namespace

void* vexPlatform_AllocateLargeBlock(long long bytes) {
    if (bytes <= 0) {
        return nullptr;
    }
    size_t pageBytes = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t length = (static_cast<size_t>(bytes) + pageBytes - 1) / pageBytes * pageBytes;
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

int vexPlatform_ReleaseLargeBlock(void* block) {
    if (block == nullptr) {
        return 0;
    }
    std::lock_guard<std::mutex> hold(mappedBlocksLock);
    for (MappedBlock& record : mappedBlocks) {
        if (record.start == block) {
            munmap(record.start, record.length);
            record.start = nullptr;
            record.length = 0;
            return 1;
        }
    }
    return 0;
}
