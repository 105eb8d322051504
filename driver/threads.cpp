// The fork-join helper: work spread over threads that all start before any of it runs, and all
// end before the caller goes on.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "driver/driver.h"

namespace {

// What the started threads wait for: the number of threads that run, fixed once every thread
// that could be started has been.
struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    std::atomic<int> count{0};
};

// A thread waiting at the gate yields for a while before it sleeps: the gate opens as soon as
// the last thread is started, and a sleeping thread can take milliseconds to run again.
const int spinLimit = 20000;

int awaitCount(Gate& gate) {
    for (int spin = 0; spin < spinLimit; ++spin) {
        int count = gate.count.load(std::memory_order_acquire);
        if (count != 0) {
            return count;
        }
        std::this_thread::yield();
    }
    std::unique_lock<std::mutex> lock(gate.mutex);
    gate.opened.wait(lock, [&] { return gate.count.load(std::memory_order_acquire) != 0; });
    return gate.count.load(std::memory_order_acquire);
}

}  // namespace

int vexThreads_ForkJoin(int threadCount, VexThreadWork work, void* context) {
    const int wanted = threadCount < 1 ? 1 : threadCount;
    Gate gate;
    std::vector<std::thread> helpers;
    try {
        helpers.reserve(static_cast<std::size_t>(wanted - 1));
    } catch (const std::bad_alloc&) {
        // Without room for the threads' handles the work runs on this thread alone.
    }
    for (int index = 1; index < wanted && helpers.size() < helpers.capacity(); ++index) {
        try {
            helpers.emplace_back([&gate, work, context, index] {
                int count = awaitCount(gate);
                work(context, index, count);
            });
        } catch (const std::system_error&) {
            break;
        } catch (const std::bad_alloc&) {
            break;
        }
    }
    const int count = static_cast<int>(helpers.size()) + 1;
    {
        std::lock_guard<std::mutex> lock(gate.mutex);
        gate.count.store(count, std::memory_order_release);
    }
    gate.opened.notify_all();
    work(context, 0, count);
    for (std::thread& helper : helpers) {
        helper.join();
    }
    return count;
}
