// A duplicated descriptor of an emulated node is another name of the same open node, as with a
// driver: programs that stream through a duplicate (GStreamer's v4l2src does) see frames, and
// the node lets go of its buffers only when the last descriptor closes.
#include "tests/v4l2cam/CameraControl.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace vocalyn::test;

namespace {

class DuplicateTest : public ::testing::Test {
protected:
    void SetUp() override {
        camera::UseNodes({{"/dev/video0", "typical"}});
        fd = ::open("/dev/video0", O_RDWR | O_NONBLOCK);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override { qunsetenv("V4L2CAM_NODES"); }

    static int RequestBuffers(int on, unsigned count) {
        v4l2_requestbuffers request{};
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        request.count = count;
        return ::ioctl(on, VIDIOC_REQBUFS, &request) == 0 ? int(request.count) : -1;
    }

    static int Queue(int on, unsigned index) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        return ::ioctl(on, VIDIOC_QBUF, &buffer);
    }

    // The index of the next frame on descriptor `on`, waiting for it up to a second; -1 if none.
    static int NextFrame(int on) {
        pollfd ready{on, POLLIN, 0};
        if (::poll(&ready, 1, 1000) != 1 || !(ready.revents & POLLIN))
            return -1;
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        return ::ioctl(on, VIDIOC_DQBUF, &buffer) == 0 ? int(buffer.index) : -1;
    }

    int fd = -1;
};

} // namespace

TEST_F(DuplicateTest, ADuplicateStreamsTheSameNodeAndOutlivesTheOriginal) {
    const int copy = ::dup(fd);
    ASSERT_GE(copy, 0);
    ASSERT_EQ(RequestBuffers(copy, 2), 2);
    // The buffers belong to the open node: the original sees them too.
    v4l2_buffer described{};
    described.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    described.memory = V4L2_MEMORY_MMAP;
    described.index = 1;
    ASSERT_EQ(::ioctl(fd, VIDIOC_QUERYBUF, &described), 0);
    void* mapped = ::mmap(nullptr, described.length, PROT_READ, MAP_SHARED, fd, described.m.offset);
    ASSERT_NE(mapped, MAP_FAILED);
    ASSERT_EQ(Queue(copy, 0), 0);
    ASSERT_EQ(Queue(fd, 1), 0);
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    ASSERT_EQ(::ioctl(copy, VIDIOC_STREAMON, &type), 0);
    const int first = NextFrame(copy);
    ASSERT_GE(first, 0);

    ::close(fd);
    ASSERT_EQ(Queue(copy, unsigned(first)), 0);
    EXPECT_GE(NextFrame(copy), 0) << "closing the original stopped the stream";

    // While a descriptor is open the node is busy for any other open file.
    const int other = ::open("/dev/video0", O_RDWR | O_NONBLOCK);
    ASSERT_GE(other, 0);
    EXPECT_EQ(RequestBuffers(other, 2), -1);
    ::munmap(mapped, described.length);
    ::close(copy);
    EXPECT_EQ(RequestBuffers(other, 2), 2) << "the last close did not free the buffers";
    ::close(other);
}

TEST_F(DuplicateTest, EveryWayOfDuplicatingNamesTheNode) {
    const int low = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    ASSERT_GE(low, 0);
    const int target = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(target, 0);
    ASSERT_EQ(::dup2(fd, target), target);
    for (const int name : {low, target}) {
        v4l2_capability caps{};
        EXPECT_EQ(::ioctl(name, VIDIOC_QUERYCAP, &caps), 0) << name;
        EXPECT_TRUE(caps.device_caps & V4L2_CAP_VIDEO_CAPTURE) << name;
    }
    ::close(fd);
    ::close(low);
    // A descriptor of anything else duplicates as before.
    const int plain = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(plain, 0);
    ASSERT_EQ(::dup2(plain, target), target);
    v4l2_capability caps{};
    EXPECT_EQ(::ioctl(target, VIDIOC_QUERYCAP, &caps), -1);
    ::close(plain);
    ::close(target);
}
