#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace vocalyn::net {

// The process-wide queue through which listener threads run work on the main
// thread. The main thread runs queued requests oldest first, one at a time,
// from its event loop and from every nested one (modal dialogs, message
// boxes, processEvents), and holds no lock while a request runs, so a request
// of one listener can run nested inside another listener's handler.
class HandOverQueue {
public:
    static HandOverQueue& Instance();

    struct Outcome {
        bool ran = false;         // false: given up because `stop` was set while it was running
        std::exception_ptr error; // what the work threw, caught on the main thread
    };

    // Listener thread: queues work, wakes the main thread and blocks until the
    // work has run there. A request already running when `stop` is set is
    // given up, because then the main thread is stopping this listener from
    // inside that very request and cannot wait for it. Needs a QCoreApplication.
    Outcome HandOver(std::function<void()> work, const std::atomic<bool>& stop);

    // Main thread: runs every queued request, oldest first. Never throws.
    void Drain() noexcept;

    // Main thread: waits at most `limit` until a request is queued or `done` holds.
    void WaitForWork(const std::function<bool()>& done, std::chrono::milliseconds limit);

    // Makes every waiter look at its condition again (after a stop or an end).
    void NotifyAll();

    // Requests queued and not yet started.
    int PendingCount() const;

private:
    struct Request;

    HandOverQueue() = default;
    void WakeMainThread();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Request>> queue_;
};

} // namespace vocalyn::net
