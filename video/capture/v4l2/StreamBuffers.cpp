#include "video/capture/v4l2/StreamBuffers.h"

#include "video/capture/v4l2/V4l2Device.h"

#include <libv4l2.h>
#include <linux/videodev2.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace vocalyn::video::v4l2 {

MappedBuffer::~MappedBuffer() {
    if (start_ != MAP_FAILED && start_ != nullptr)
        v4l2_munmap(start_, length_);
}

MappedBuffer::MappedBuffer(MappedBuffer&& other) noexcept
    : start_(std::exchange(other.start_, nullptr)), length_(std::exchange(other.length_, 0)) {}

std::unique_ptr<StreamBuffers> StreamBuffers::Start(V4l2Device& device, unsigned count,
                                                    int& error) {
    std::unique_ptr<StreamBuffers> stream(new StreamBuffers(device));
    // Taken before the half-made stream is undone, which makes calls of its own.
    const auto failed = [&error](int code) {
        error = code;
        return nullptr;
    };
    v4l2_requestbuffers request{};
    request.count = count;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (device.Ioctl(VIDIOC_REQBUFS, &request) != 0)
        return failed(errno);
    if (request.count == 0)
        return failed(ENOMEM);
    stream->buffers_.reserve(request.count);
    for (unsigned index = 0; index < request.count; ++index) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        if (device.Ioctl(VIDIOC_QUERYBUF, &buffer) != 0)
            return failed(errno);
        void* start = v4l2_mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED,
                                device.fd(), buffer.m.offset);
        if (start == MAP_FAILED)
            return failed(errno);
        stream->buffers_.emplace_back(start, buffer.length);
        if (!stream->Requeue(index))
            return failed(errno);
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (device.Ioctl(VIDIOC_STREAMON, &type) != 0)
        return failed(errno);
    stream->streaming_ = true;
    return stream;
}

StreamBuffers::~StreamBuffers() {
    if (streaming_) {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        device_.Ioctl(VIDIOC_STREAMOFF, &type);
    }
    ReleaseBuffers();
}

void StreamBuffers::ReleaseBuffers() {
    // The mappings go before the buffers are handed back, as the driver expects.
    buffers_.clear();
    v4l2_requestbuffers request{};
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    device_.Ioctl(VIDIOC_REQBUFS, &request);
}

StreamBuffers::Dequeued StreamBuffers::Dequeue(Filled& filled) {
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    if (device_.Ioctl(VIDIOC_DQBUF, &buffer) != 0) {
        if (errno == EAGAIN)
            return Dequeued::NotReady;
        // Some drivers report a corrupt or missed frame this way and go on.
        if (errno == EIO)
            return Dequeued::Failed;
        return Dequeued::Lost;
    }
    if (buffer.index >= buffers_.size())
        return Dequeued::NotReady;
    filled.index = buffer.index;
    filled.bytesUsed = std::min<std::size_t>(buffer.bytesused, buffers_[buffer.index].size());
    filled.taken_us = -1;
    if ((buffer.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC &&
        (buffer.timestamp.tv_sec > 0 || buffer.timestamp.tv_usec > 0))
        filled.taken_us =
            std::int64_t(buffer.timestamp.tv_sec) * 1'000'000 + buffer.timestamp.tv_usec;
    if (buffer.flags & V4L2_BUF_FLAG_ERROR) {
        Requeue(buffer.index);
        return Dequeued::Failed;
    }
    return Dequeued::Frame;
}

bool StreamBuffers::Requeue(unsigned index) {
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.index = index;
    return device_.Ioctl(VIDIOC_QBUF, &buffer) == 0;
}

} // namespace vocalyn::video::v4l2
