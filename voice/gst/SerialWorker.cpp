#include "voice/gst/SerialWorker.h"

#include "base/Log.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace vocalyn::voice {

struct SerialWorker::Queue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> tasks;
    bool stopping = false;
    bool finished = false;
};

void SerialWorker::Run(const std::shared_ptr<Queue>& queue) {
    std::unique_lock lock(queue->mutex);
    for (;;) {
        queue->changed.wait(lock, [&] { return queue->stopping || !queue->tasks.empty(); });
        if (queue->tasks.empty())
            break; // stopping, and nothing left to do
        std::function<void()> task = std::move(queue->tasks.front());
        queue->tasks.pop_front();
        lock.unlock();
        try {
            task();
        } catch (...) {
            // Nothing can report it from here; the task's own status message is the report.
            LogSwallowed(lcVoice(), "voice worker task");
        }
        task = nullptr; // release what the task owned outside the lock
        lock.lock();
    }
    queue->finished = true;
    queue->changed.notify_all();
}

SerialWorker::SerialWorker() : queue_(std::make_shared<Queue>()) {
    thread_ = std::thread([queue = queue_] { Run(queue); });
}

SerialWorker::~SerialWorker() {
    std::unique_lock lock(queue_->mutex);
    queue_->stopping = true;
    queue_->changed.notify_all();
    const bool finished =
        queue_->changed.wait_for(lock, kShutdownLimit, [this] { return queue_->finished; });
    lock.unlock();
    if (finished)
        thread_.join();
    else
        thread_.detach();
}

void SerialWorker::Post(std::function<void()> task) {
    std::lock_guard lock(queue_->mutex);
    queue_->tasks.push_back(std::move(task));
    queue_->changed.notify_all();
}

} // namespace vocalyn::voice
