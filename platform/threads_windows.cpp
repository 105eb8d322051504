// Thread start and join on Windows threads, started through the C library so that its per-thread
// state is set up. A thread that cannot be started is reported, never thrown: the caller runs its
// work with fewer threads.
#include <windows.h>

#include <process.h>

#include <cstring>

#include "platform/platform.h"

static_assert(sizeof(HANDLE) <= sizeof(VexThread::handle), "a thread handle fits its bytes");

namespace {

// The record carries the entry and its argument, so starting a thread allocates nothing.
unsigned __stdcall runThread(void* record) {
    VexThread* thread = static_cast<VexThread*>(record);
    thread->entry(thread->argument);
    return 0;
}

}  // namespace

int vexPlatform_StartThread(VexThread* thread, void (*entry)(void*), void* argument) {
    thread->entry = entry;
    thread->argument = argument;
    uintptr_t started = _beginthreadex(nullptr, 0, runThread, thread, 0, nullptr);
    if (started == 0) {
        return 0;
    }
    HANDLE handle = reinterpret_cast<HANDLE>(started);
    std::memset(thread->handle, 0, sizeof thread->handle);
    std::memcpy(thread->handle, &handle, sizeof handle);
    return 1;
}

void vexPlatform_JoinThread(VexThread* thread) {
    HANDLE handle;
    std::memcpy(&handle, thread->handle, sizeof handle);
    WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
}
