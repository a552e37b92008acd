#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vocalyn::video::v4l2 {

class V4l2Device;

// One frame buffer of the device mapped into memory; unmapped when destroyed.
class MappedBuffer {
public:
    MappedBuffer(void* start, std::size_t length) noexcept : start_(start), length_(length) {}
    ~MappedBuffer();
    MappedBuffer(MappedBuffer&& other) noexcept;
    MappedBuffer& operator=(MappedBuffer&&) = delete;
    MappedBuffer(const MappedBuffer&) = delete;
    MappedBuffer& operator=(const MappedBuffer&) = delete;

    const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(start_); }
    std::size_t size() const { return length_; }

private:
    void* start_;
    std::size_t length_;
};

// The device's frame queue while it streams: buffers requested, mapped and
// queued, the stream on. Destroying it turns the stream off and hands the
// buffers back, so the format can change afterwards.
class StreamBuffers {
public:
    // Null when the device cannot stream (no buffers, no mapping, refused), with
    // the errno of the call that failed in error (EBUSY: another program streams).
    static std::unique_ptr<StreamBuffers> Start(V4l2Device& device, unsigned count, int& error);
    ~StreamBuffers();

    StreamBuffers(const StreamBuffers&) = delete;
    StreamBuffers& operator=(const StreamBuffers&) = delete;

    struct Filled {
        unsigned index = 0;
        std::size_t bytesUsed = 0;
        // When the camera took the frame, on the monotonic clock, in microseconds; -1 when
        // the driver does not say.
        std::int64_t taken_us = -1;
    };
    enum class Dequeued { Frame, NotReady, Failed, Lost };

    // Takes the next filled buffer without waiting. Failed is one spoilt
    // frame; Lost means the device has gone (unplugged) or broken for good.
    Dequeued Dequeue(Filled& filled);
    // Gives a buffer back to the device once its frame has been handed on.
    bool Requeue(unsigned index);

    const MappedBuffer& buffer(unsigned index) const { return buffers_[index]; }
    unsigned count() const { return static_cast<unsigned>(buffers_.size()); }

private:
    explicit StreamBuffers(V4l2Device& device) : device_(device) {}
    void ReleaseBuffers();

    V4l2Device& device_;
    std::vector<MappedBuffer> buffers_;
    bool streaming_ = false;
};

} // namespace vocalyn::video::v4l2
