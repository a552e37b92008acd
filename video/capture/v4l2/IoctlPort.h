#pragma once

namespace vocalyn::video::v4l2 {

// The ioctl entry of one video device. The code that only asks a device
// questions goes through this, so tests can answer them from a script.
class IoctlPort {
public:
    virtual ~IoctlPort() = default;

    // As ioctl(2): 0 on success, -1 with errno set on failure.
    virtual int Ioctl(unsigned long request, void* argument) = 0;
};

} // namespace vocalyn::video::v4l2
