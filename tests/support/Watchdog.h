#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace vocalyn::test {

// Ends the test program when the step it guards has not returned within `limit`, so that a call
// that blocks for ever shows as a failure at once instead of stalling the run until the test's
// timeout. The step runs on the calling thread, which is what a blocking call would hang.
class Watchdog {
public:
    Watchdog(std::chrono::milliseconds limit, const char* step)
        : thread_([this, limit, step] {
              std::unique_lock lock(mutex_);
              if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
                  std::fprintf(stderr, "Blocked for more than %lld ms: %s\n",
                               static_cast<long long>(limit.count()), step);
                  std::abort();
              }
          }) {}

    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_one();
        thread_.join();
    }

    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_; // last, so that it starts after the members it uses
};

} // namespace vocalyn::test
