#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace vocalyn::voice {

// One background thread that runs tasks in the order they were posted. The
// terminal hands it every GStreamer state change and socket (re)binding,
// which may take as long as a sound device takes to open, so that the main
// thread never waits for them.
class SerialWorker {
public:
    SerialWorker();
    // Lets the queued tasks run, waiting for them at most `kShutdownLimit`;
    // past that the thread is left to finish on its own (tasks own what they touch).
    ~SerialWorker();

    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    // The task must not rely on anything it does not own; an exception it
    // throws is dropped.
    void Post(std::function<void()> task);

    static constexpr std::chrono::milliseconds kShutdownLimit{3000};

private:
    struct Queue;
    static void Run(const std::shared_ptr<Queue>& queue);

    std::shared_ptr<Queue> queue_;
    std::thread thread_;
};

} // namespace vocalyn::voice
