#include "net/HandOver.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace vocalyn::net {

namespace {

// A listener re-checks its stop flag at least this often while it waits.
constexpr std::chrono::milliseconds kListenerWaitSlice(100);

} // namespace

struct HandOverQueue::Request {
    enum class State { Queued, Running, Done };

    std::function<void()> work;
    State state = State::Queued;
    std::exception_ptr error;
};

HandOverQueue& HandOverQueue::Instance() {
    static HandOverQueue queue;
    return queue;
}

HandOverQueue::Outcome HandOverQueue::HandOver(std::function<void()> work,
                                               const std::atomic<bool>& stop) {
    auto request = std::make_shared<Request>();
    request->work = std::move(work);
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(request);
    }
    changed_.notify_all();
    WakeMainThread();

    std::unique_lock lock(mutex_);
    while (request->state != Request::State::Done) {
        if (stop.load() && request->state == Request::State::Running)
            return {};
        changed_.wait_for(lock, kListenerWaitSlice);
    }
    return {true, request->error};
}

void HandOverQueue::Drain() noexcept {
    for (;;) {
        std::shared_ptr<Request> request;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty())
                return;
            request = std::move(queue_.front());
            queue_.pop_front();
            request->state = Request::State::Running;
        }
        try {
            request->work();
        } catch (...) {
            request->error = std::current_exception();
        }
        // Drop the work (and the datagram it holds) before the listener wakes,
        // so the listener finds its receive buffer unshared and can reuse it.
        request->work = nullptr;
        {
            std::lock_guard lock(mutex_);
            request->state = Request::State::Done;
        }
        changed_.notify_all();
    }
}

void HandOverQueue::WaitForWork(const std::function<bool()>& done,
                                std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, limit, [&] { return !queue_.empty() || done(); });
}

void HandOverQueue::NotifyAll() {
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
}

int HandOverQueue::PendingCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(queue_.size());
}

void HandOverQueue::WakeMainThread() {
    // One posted call per request; a call that finds the queue already
    // drained does nothing. Posted calls are delivered by nested loops too.
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [] { Instance().Drain(); }, Qt::QueuedConnection);
}

} // namespace vocalyn::net
