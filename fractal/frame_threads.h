// Private to the fast frame: where its threads meet, between phases and at the start.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// A thread that waits for the others yields in a loop for a while before it sleeps: the
// phases are short, and on a virtual machine a thread woken from sleep can take milliseconds
// to run again.
const int spinLimit = 20000;

// Returns once done() holds, which another thread makes true under `mutex` before notifying
// `wake`.
template <class Done>
void awaitAwake(std::mutex& mutex, std::condition_variable& wake, Done done) {
    for (int spin = 0; spin < spinLimit; ++spin) {
        if (done()) {
            return;
        }
        std::this_thread::yield();
    }
    std::unique_lock<std::mutex> lock(mutex);
    wake.wait(lock, done);
}

// Lets the frame's threads pass from one phase to the next together.
class PhaseBarrier {
  public:
    // Set before any thread waits.
    void setParties(int parties) { parties_ = parties; }
    void wait() {
        int generation = generation_.load(std::memory_order_acquire);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (++arrived_ == parties_) {
                arrived_ = 0;
                generation_.store(generation + 1, std::memory_order_release);
                released_.notify_all();
                return;
            }
        }
        awaitAwake(mutex_, released_,
                   [&] { return generation_.load(std::memory_order_acquire) != generation; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable released_;
    int parties_ = 1;
    int arrived_ = 0;
    std::atomic<int> generation_{0};
};

// Lets the helper threads, started early, wait until the frame they share is ready.
class StartSignal {
  public:
    void open() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            open_.store(true, std::memory_order_release);
        }
        opened_.notify_all();
    }
    void wait() {
        awaitAwake(mutex_, opened_, [&] { return open_.load(std::memory_order_acquire); });
    }

  private:
    std::mutex mutex_;
    std::condition_variable opened_;
    std::atomic<bool> open_{false};
};

}  // namespace
