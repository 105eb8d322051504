// The fork-join helper: one piece of work run on several threads at once, the calling thread
// among them. How many threads run is settled before any work begins.
#include <condition_variable>
#include <mutex>

#include "driver/driver.h"
#include "platform/platform.h"

namespace {

// More threads than this are never started, whatever is asked: far beyond any core count, and it
// keeps the records' size well inside what one allocation can describe.
const int threadLimit = 1024;

// What the threads of one fork-join share. The count is 0 until every thread that could be
// started has been; then it is fixed and the helpers are let go.
struct ForkJoinShared {
    VexThreadWork work;
    void* context;
    std::mutex lock;
    std::condition_variable released;
    int count;
};

struct Helper {
    VexThread thread;
    ForkJoinShared* shared;
    int index;
};

void runHelper(void* argument) {
    Helper* helper = static_cast<Helper*>(argument);
    ForkJoinShared* shared = helper->shared;
    int count;
    {
        std::unique_lock<std::mutex> hold(shared->lock);
        shared->released.wait(hold, [shared] { return shared->count != 0; });
        count = shared->count;
    }
    shared->work(shared->context, helper->index, count);
}

}  // namespace

int vexThreads_ForkJoin(int threadCount, VexThreadWork work, void* context) {
    int wanted = threadCount < 1 ? 1 : (threadCount > threadLimit ? threadLimit : threadCount);
    if (wanted == 1) {
        work(context, 0, 1);
        return 1;
    }
    ForkJoinShared shared;
    shared.work = work;
    shared.context = context;
    shared.count = 0;
    Helper* helpers =
        static_cast<Helper*>(vexMemory_Calloc(static_cast<int>((wanted - 1) * sizeof(Helper))));
    // The first thread the system refuses (a thread limit, no memory for a stack) ends the
    // starting: the work is divided among those that run, and the result does not depend on
    // how many that are.
    int started = 1;
    while (started < wanted) {
        Helper* helper = &helpers[started - 1];
        helper->shared = &shared;
        helper->index = started;
        if (!vexPlatform_StartThread(&helper->thread, runHelper, helper)) {
            break;
        }
        ++started;
    }
    {
        std::lock_guard<std::mutex> hold(shared.lock);
        shared.count = started;
    }
    shared.released.notify_all();
    work(context, 0, started);
    for (int i = 0; i < started - 1; ++i) {
        vexPlatform_JoinThread(&helpers[i].thread);
    }
    vexMemory_Free(helpers);
    return started;
}
