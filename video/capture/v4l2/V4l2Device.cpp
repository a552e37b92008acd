#include "video/capture/v4l2/V4l2Device.h"

#include <QFile>
#include <libv4l2.h>

#include <cerrno>
#include <fcntl.h>

namespace vocalyn::video::v4l2 {

std::unique_ptr<V4l2Device> V4l2Device::Open(const QString& path) {
    const int fd = v4l2_open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<V4l2Device>(new V4l2Device(fd, path));
}

V4l2Device::~V4l2Device() {
    v4l2_close(fd_);
}

int V4l2Device::Ioctl(unsigned long request, void* argument) {
    int result;
    do {
        result = v4l2_ioctl(fd_, request, argument);
    } while (result == -1 && errno == EINTR);
    return result;
}

} // namespace vocalyn::video::v4l2
