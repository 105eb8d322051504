// Thread start and join on POSIX threads. A thread that cannot be started is reported, never
// thrown: the caller runs its work with fewer threads.
#include <pthread.h>

#include <cstring>

#include "platform/platform.h"

static_assert(sizeof(pthread_t) <= sizeof(VexThread::handle), "a thread handle fits its bytes");

namespace {

// The record carries the entry and its argument, so starting a thread allocates nothing.
void* runThread(void* record) {
    VexThread* thread = static_cast<VexThread*>(record);
    thread->entry(thread->argument);
    return nullptr;
}

}  // namespace

int vexPlatform_StartThread(VexThread* thread, void (*entry)(void*), void* argument) {
    thread->entry = entry;
    thread->argument = argument;
    pthread_t handle;
    if (pthread_create(&handle, nullptr, runThread, thread) != 0) {
        return 0;
    }
    std::memset(thread->handle, 0, sizeof thread->handle);
    std::memcpy(thread->handle, &handle, sizeof handle);
    return 1;
}

void vexPlatform_JoinThread(VexThread* thread) {
    pthread_t handle;
    std::memcpy(&handle, thread->handle, sizeof handle);
    pthread_join(handle, nullptr);
}
