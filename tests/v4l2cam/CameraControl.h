#pragma once

// The tests' view into the preloaded emulated camera: which nodes were opened, what the device
// holds, and a cable to pull. Found at run time, as the library is preloaded, not linked.

#include <QByteArray>
#include <QString>

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <utility>

namespace vocalyn::test::camera {

template <typename Function> Function Entry(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_DEFAULT, name));
}

inline QByteArray Profile(const char* name) {
    return QByteArray(V4L2CAM_PROFILES "/") + name + ".cam";
}

// Makes the nodes the emulation offers, e.g. {{"/dev/video0", "typical"}}, and forgets the
// state of every closed node.
inline void UseNodes(std::initializer_list<std::pair<const char*, const char*>> nodes) {
    QByteArray list;
    for (const auto& [path, profile] : nodes)
        list += QByteArray(path) + '=' + Profile(profile) + ';';
    qputenv("V4L2CAM_NODES", list);
    Entry<void (*)()>("v4l2cam_reset")();
}

inline int Opens(const char* path) {
    return Entry<int (*)(const char*)>("v4l2cam_opens")(path);
}

inline long long Frames(const char* path) {
    return Entry<long long (*)(const char*)>("v4l2cam_frames")(path);
}

inline std::optional<int> Control(const char* path, std::uint32_t id) {
    int value = 0;
    if (Entry<int (*)(const char*, unsigned, int*)>("v4l2cam_control")(path, id, &value) != 0)
        return std::nullopt;
    return value;
}

struct DeviceFormat {
    std::uint32_t fourcc = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

inline DeviceFormat Format(const char* path) {
    DeviceFormat format;
    Entry<int (*)(const char*, unsigned*, unsigned*, unsigned*)>("v4l2cam_format")(
        path, &format.fourcc, &format.width, &format.height);
    return format;
}

inline void Unplug(const char* path) {
    Entry<int (*)(const char*)>("v4l2cam_unplug")(path);
}

inline bool Plug(const char* path) {
    return Entry<int (*)(const char*)>("v4l2cam_plug")(path) == 0;
}

// Another program using the camera: it holds the node's buffers, so the driver refuses formats
// and buffers to everyone else (EBUSY) until it closes the node.
class OtherProgram {
public:
    explicit OtherProgram(const char* path) : fd_(::open(path, O_RDWR | O_CLOEXEC)) {
        v4l2_requestbuffers request{};
        request.count = 2;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        holds_ = fd_ >= 0 && ::ioctl(fd_, VIDIOC_REQBUFS, &request) == 0;
    }
    ~OtherProgram() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;
    bool holds() const { return holds_; }

private:
    int fd_;
    bool holds_ = false;
};

} // namespace vocalyn::test::camera
