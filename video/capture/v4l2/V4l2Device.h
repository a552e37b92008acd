#pragma once

#include "video/capture/v4l2/IoctlPort.h"

#include <QString>

#include <memory>

namespace vocalyn::video::v4l2 {

// One open video device, reached through libv4l2 so that cameras offering
// only compressed frames still hand out formats the converters take. Closes
// the device when destroyed.
class V4l2Device final : public IoctlPort {
public:
    // Opens the node without blocking reads; null when it cannot be opened.
    static std::unique_ptr<V4l2Device> Open(const QString& path);
    ~V4l2Device() override;

    V4l2Device(const V4l2Device&) = delete;
    V4l2Device& operator=(const V4l2Device&) = delete;

    // Retries calls interrupted by a signal.
    int Ioctl(unsigned long request, void* argument) override;

    int fd() const { return fd_; }
    const QString& path() const { return path_; }

private:
    V4l2Device(int fd, QString path) : fd_(fd), path_(std::move(path)) {}

    int fd_;
    QString path_;
};

} // namespace vocalyn::video::v4l2
