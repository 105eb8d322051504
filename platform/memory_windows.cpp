// Large blocks of memory straight from the system on a large-page boundary: backed by large pages
// where the system grants them (the process must hold the privilege to lock pages in memory),
// else by ordinary committed pages. Fresh pages from the system are zero, so a block needs no
// clearing.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/platform.h"

namespace {

const size_t largePageBoundary = 2u << 20;

// The blocks still held, so that a release can tell them from the heap's. The program holds one;
// when every record is taken, the allocation is refused and the caller uses the heap.
struct SystemBlock {
    void* start;  // what the caller got
    void* base;   // what the system handed out, to be given back
};
const int systemBlockCapacity = 16;
SystemBlock systemBlocks[systemBlockCapacity];
std::mutex systemBlocksLock;

// Asks once for the privilege to lock pages in memory; most accounts do not have it, and then
// the large pages are never tried.
bool largePagesGranted() {
    static const bool granted = [] {
        if (GetLargePageMinimum() == 0) {
            return false;
        }
        HANDLE token;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
            return false;
        }
        TOKEN_PRIVILEGES privileges;
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        bool held = LookupPrivilegeValueW(nullptr, L"SeLockMemoryPrivilege",
                                          &privileges.Privileges[0].Luid) &&
                    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
                    GetLastError() == ERROR_SUCCESS;  // not ERROR_NOT_ALL_ASSIGNED
        CloseHandle(token);
        return held;
    }();
    return granted;
}

// Large pages: the size a whole number of them; the system places them on their boundary.
void* allocateLargePages(size_t bytes, void** base) {
    size_t largePage = GetLargePageMinimum();
    if (largePage == 0 || largePageBoundary % largePage != 0) {
        return nullptr;
    }
    size_t length = (bytes + largePageBoundary - 1) / largePageBoundary * largePageBoundary;
    void* block =
        VirtualAlloc(nullptr, length, MEM_RESERVE | MEM_COMMIT | MEM_LARGE_PAGES, PAGE_READWRITE);
    *base = block;
    return block;
}

// Ordinary pages: one boundary's worth more is reserved, and only the part from the first
// boundary on is committed; the rest of the reservation costs address space only.
void* allocateOrdinaryPages(size_t bytes, void** base) {
    void* reserved = VirtualAlloc(nullptr, bytes + largePageBoundary, MEM_RESERVE, PAGE_NOACCESS);
    if (reserved == nullptr) {
        return nullptr;
    }
    std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(reserved) + largePageBoundary - 1) &
                           ~(std::uintptr_t{largePageBoundary} - 1);
    void* block = VirtualAlloc(reinterpret_cast<void*>(start), bytes, MEM_COMMIT, PAGE_READWRITE);
    if (block == nullptr) {
        VirtualFree(reserved, 0, MEM_RELEASE);
        return nullptr;
    }
    *base = reserved;
    return block;
}

}  // namespace

void* vexPlatform_AllocateLargeBlock(long long bytes) {
    if (bytes <= 0 || static_cast<unsigned long long>(bytes) > SIZE_MAX - 2 * largePageBoundary) {
        return nullptr;
    }
    std::lock_guard<std::mutex> hold(systemBlocksLock);
    SystemBlock* record = nullptr;
    for (SystemBlock& candidate : systemBlocks) {
        if (candidate.start == nullptr) {
            record = &candidate;
            break;
        }
    }
    if (record == nullptr) {
        return nullptr;
    }
    size_t length = static_cast<size_t>(bytes);
    void* base = nullptr;
    void* block = largePagesGranted() ? allocateLargePages(length, &base) : nullptr;
    if (block == nullptr) {
        block = allocateOrdinaryPages(length, &base);
    }
    if (block == nullptr) {
        return nullptr;
    }
    record->start = block;
    record->base = base;
    return block;
}

int vexPlatform_ReleaseLargeBlock(void* block) {
    if (block == nullptr) {
        return 0;
    }
    std::lock_guard<std::mutex> hold(systemBlocksLock);
    for (SystemBlock& record : systemBlocks) {
        if (record.start == block) {
            VirtualFree(record.base, 0, MEM_RELEASE);
            record.start = nullptr;
            record.base = nullptr;
            return 1;
        }
    }
    return 0;
}
