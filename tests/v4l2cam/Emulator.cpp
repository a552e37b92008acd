#include "tests/v4l2cam/Emulator.h"

#include "tests/v4l2cam/NaturalScene.h"
#include "tests/v4l2cam/Profile.h"
#include "tests/v4l2cam/TestPattern.h"

#include <dlfcn.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <jpeglib.h>

namespace v4l2cam {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxFd = 65536;
constexpr unsigned kMinBuffers = 2;
constexpr unsigned kMaxBuffers = 16;
constexpr unsigned kFirstMinor = 200; // clear of real nodes, in case sysfs is looked at

// The part of a node that outlives an open: what a camera keeps while plugged in.
struct Device {
    std::string path;
    std::string profilePath;
    Profile profile;
    std::map<std::uint32_t, std::int32_t> values;
    std::size_t format = 0;
    FrameSize size;
    std::size_t interval = 0;
    bool unplugged = false;
    bool unplugScheduled = false;
    Clock::time_point unplugAt;
    int openHandles = 0;
    // For tests.
    int opens = 0;
    std::uint64_t framesDelivered = 0;
    std::uint32_t minor = 0;
};

struct Buffer {
    enum class State { User, Queued, Done };
    State state = State::User;
    std::uint32_t sequence = 0;
    timeval stamp{};
};

// The buffers of one open while it streams (or could).
struct Queue {
    ~Queue() {
        if (pixels != MAP_FAILED)
            Real().munmap(pixels, memory);
        if (memfd >= 0)
            Real().close(memfd);
    }
    int memfd = -1;
    void* pixels = MAP_FAILED; // the whole memfd, for writing frames
    std::size_t memory = 0;
    std::size_t stride = 0;    // page-aligned bytes per buffer
    std::size_t imageSize = 0; // sizeimage when allocated
    std::uint64_t serial = 0;
    std::vector<Buffer> buffers;
    std::deque<unsigned> queued;
    std::deque<unsigned> done;
};

struct Handle {
    int fd = -1;
    std::shared_ptr<Device> device;
    bool blocking = false;
    std::shared_ptr<Queue> queue;
    bool streaming = false;
    Clock::time_point started; // STREAMON
    Clock::time_point firstDue;
    Clock::duration period{};
    std::uint64_t nextFrame = 0; // number of the next frame to become due
    bool signalled = false;      // the eventfd reads as readable
    // The thread that makes frames due on time; runs while streaming.
    std::thread ticker;
    bool stop = false;
    std::condition_variable wake;
};

struct Mapping {
    std::uint64_t serial;
    std::size_t length;
};

// The library's state is never destroyed: a program may exit with a node still streaming, and
// its ticker thread must not meet destroyed maps (or a joinable std::thread) on the way out.
struct State {
    std::map<std::string, std::shared_ptr<Device>> devices;
    std::map<int, std::shared_ptr<Handle>> handles;
    std::map<std::uintptr_t, Mapping> mappings;
    std::map<std::uint64_t, int> mappingCount; // per queue serial
    std::uint64_t nextSerial = 1;
    std::uint32_t nextMinor = kFirstMinor;
};

State& S() {
    static State* state = new State;
    return *state;
}

std::mutex lock; // trivially destroyed, and constant-initialised before any call can come
std::atomic<bool> owned[kMaxFd];

template <typename Function> Function Next(const char* name) {
    void* symbol = dlsym(RTLD_NEXT, name);
    if (!symbol) {
        std::fprintf(stderr, "v4l2cam: no %s past the preload\n", name);
        std::abort();
    }
    return reinterpret_cast<Function>(symbol);
}

int Fail(int error) {
    errno = error;
    return -1;
}

void CopyText(__u8* target, std::size_t size, const std::string& text) {
    std::memset(target, 0, size);
    std::memcpy(target, text.data(), std::min(size - 1, text.size()));
}

// The node for a path, with its profile (re)read when the mapping names another file.
// V4L2CAM_NODES lists "path=profile" pairs separated by ';'. While it is set, other video
// nodes do not exist, so that a real camera on the machine never takes part.
std::optional<std::shared_ptr<Device>> Lookup(const char* path, int& error) {
    const char* nodes = std::getenv("V4L2CAM_NODES");
    if (!nodes || !path || std::strncmp(path, "/dev/video", 10) != 0)
        return std::nullopt;
    std::string list(nodes);
    std::string profilePath;
    for (std::size_t start = 0; start <= list.size();) {
        std::size_t end = list.find(';', start);
        if (end == std::string::npos)
            end = list.size();
        const std::string entry = list.substr(start, end - start);
        const std::size_t equals = entry.find('=');
        if (equals != std::string::npos && entry.compare(0, equals, path) == 0 &&
            equals == std::strlen(path))
            profilePath = entry.substr(equals + 1);
        start = end + 1;
    }
    error = ENOENT;
    if (profilePath.empty())
        return nullptr;
    std::shared_ptr<Device>& device = S().devices[path];
    if (device && device->profilePath == profilePath)
        return device;
    if (device && device->openHandles > 0)
        return device; // a new profile applies once the node is closed
    std::string reason;
    std::optional<Profile> profile = ReadProfile(profilePath, reason);
    if (!profile) {
        std::fprintf(stderr, "v4l2cam: %s\n", reason.c_str());
        S().devices.erase(path);
        return nullptr;
    }
    device = std::make_shared<Device>();
    device->path = path;
    device->profilePath = profilePath;
    device->profile = std::move(*profile);
    device->minor = S().nextMinor++;
    for (const ControlSpec& control : device->profile.controls)
        device->values[control.id] = control.defaultValue;
    if (!device->profile.formats.empty())
        device->size = device->profile.formats.front().sizes.front();
    return device;
}

std::shared_ptr<Handle> Find(int fd) {
    const auto found = S().handles.find(fd);
    return found == S().handles.end() ? nullptr : found->second;
}

const Format& CurrentFormat(const Device& device) {
    return device.profile.formats[device.format];
}

void FillPixFormat(const Device& device, const Format& format, FrameSize size,
                   v4l2_pix_format& pix) {
    pix = {};
    pix.width = size.width;
    pix.height = size.height;
    pix.pixelformat = format.fourcc;
    pix.field = V4L2_FIELD_NONE;
    pix.colorspace = V4L2_COLORSPACE_SRGB;
    if (format.fourcc == V4L2_PIX_FMT_YUYV) {
        pix.bytesperline = size.width * 2 + device.profile.rowPadding;
        pix.sizeimage = pix.bytesperline * size.height;
    } else {
        pix.bytesperline = 0;
        pix.sizeimage = size.width * size.height * 2;
    }
}

// ---- the picture ----------------------------------------------------------------------------

struct Yuv {
    std::uint8_t y, u, v;
};

std::uint8_t Clamp(double value) {
    return static_cast<std::uint8_t>(std::clamp(value + 0.5, 0.0, 255.0));
}

// Studio-range BT.601, as cameras send it.
Yuv ToYuv(Rgb rgb, int brightness) {
    const double r = rgb.r;
    const double g = rgb.g;
    const double b = rgb.b;
    return {Clamp(16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255 + brightness),
            Clamp(128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255),
            Clamp(128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255)};
}

Rgb Brighter(Rgb rgb, int brightness) {
    const auto add = [&](std::uint8_t c) { return Clamp(double(c) + brightness); };
    return {add(rgb.r), add(rgb.g), add(rgb.b)};
}

void PatternRow(int y, int width, int height, std::uint32_t frame, int brightness,
                std::vector<Rgb>& row) {
    row.resize(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x)
        row[static_cast<std::size_t>(x)] =
            Brighter(PatternPixel(x, y, width, height, frame), brightness);
}

void NaturalRow(int y, int width, int height, std::uint32_t frame, int brightness,
                std::vector<Rgb>& row) {
    static const NaturalScene scene; // its texture takes a moment to make: once per program
    row.resize(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x)
        row[static_cast<std::size_t>(x)] =
            Brighter(scene.Pixel(x, y, width, height, frame), brightness);
}

void YuyvRow(const std::vector<Rgb>& rgb, int brightness, std::uint8_t* out) {
    for (std::size_t x = 0; x + 1 < rgb.size(); x += 2) {
        const Yuv a = ToYuv(rgb[x], brightness);
        const Yuv b = ToYuv(rgb[x + 1], brightness);
        out[0] = a.y;
        out[1] = static_cast<std::uint8_t>((a.u + b.u + 1) / 2);
        out[2] = b.y;
        out[3] = static_cast<std::uint8_t>((a.v + b.v + 1) / 2);
        out += 4;
    }
}

// The distinct rows of a frame and which of them each picture row shows: the pattern has only
// three kinds of row (top, band, bottom), so each is made once per frame; a scene has all its own.
struct FrameRows {
    std::vector<std::vector<std::uint8_t>> rows;
    bool scene = false;

    std::size_t Of(int y, int height) const {
        if (scene)
            return static_cast<std::size_t>(y);
        return InBand(y, height) ? 1 : y * 2 < height ? 0 : 2;
    }
};

// Each distinct row as RGB, through `finish` (which sizes and fills the stored row).
template <typename Finish>
FrameRows MakeRows(const Device& device, FrameSize size, std::uint32_t frame, Finish finish) {
    const int w = static_cast<int>(size.width);
    const int h = static_cast<int>(size.height);
    FrameRows made;
    made.scene = device.profile.scene == Profile::Scene::Natural;
    made.rows.resize(made.scene ? size.height : 3);
    std::vector<Rgb> rgb;
    for (std::size_t kind = 0; kind < made.rows.size(); ++kind) {
        const int y = made.scene  ? static_cast<int>(kind)
                      : kind == 0 ? 0
                      : kind == 1 ? h / 2
                                  : h - 1;
        if (made.scene)
            NaturalRow(y, w, h, frame, 0, rgb);
        else
            PatternRow(y, w, h, frame, 0, rgb);
        finish(rgb, made.rows[kind]);
    }
    return made;
}

std::size_t RenderYuyv(const Device& device, FrameSize size, std::uint32_t frame, int brightness,
                       std::uint8_t* out, std::size_t capacity) {
    const int h = static_cast<int>(size.height);
    const std::size_t stride = size.width * 2 + device.profile.rowPadding;
    if (stride * size.height > capacity)
        return 0;
    const FrameRows made = MakeRows(
        device, size, frame, [&](const std::vector<Rgb>& rgb, std::vector<std::uint8_t>& row) {
            row.resize(stride, 0xEE); // padding holds junk, as it does on real hardware
            YuyvRow(rgb, brightness, row.data());
        });
    for (int y = 0; y < h; ++y)
        std::memcpy(out + stride * static_cast<std::size_t>(y), made.rows[made.Of(y, h)].data(),
                    stride);
    return stride * size.height;
}

struct JpegFailure {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void JpegExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegFailure*>(info->err)->jump, 1);
}

struct JpegJob {
    jpeg_compress_struct info{};
    JpegFailure failure{};
    unsigned char* buffer = nullptr;
    unsigned long written = 0;
};

// Nothing here changes after setjmp but the job itself, which longjmp leaves intact.
bool Compress(JpegJob& job, FrameSize size, int quality, const FrameRows& made) {
    if (setjmp(job.failure.jump) != 0)
        return false;
    jpeg_mem_dest(&job.info, &job.buffer, &job.written);
    job.info.image_width = size.width;
    job.info.image_height = size.height;
    job.info.input_components = 3;
    job.info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&job.info);
    jpeg_set_quality(&job.info, quality, TRUE);
    jpeg_start_compress(&job.info, TRUE);
    const int h = static_cast<int>(size.height);
    while (job.info.next_scanline < job.info.image_height) {
        const int y = static_cast<int>(job.info.next_scanline);
        auto* row = const_cast<JSAMPLE*>(made.rows[made.Of(y, h)].data());
        jpeg_write_scanlines(&job.info, &row, 1);
    }
    jpeg_finish_compress(&job.info);
    return true;
}

std::size_t RenderJpeg(const Device& device, FrameSize size, std::uint32_t frame, int brightness,
                       std::uint8_t* out, std::size_t capacity) {
    const FrameRows made = MakeRows(
        device, size, frame, [&](const std::vector<Rgb>& rgb, std::vector<std::uint8_t>& row) {
            std::vector<Rgb> lit(rgb.size());
            std::transform(rgb.begin(), rgb.end(), lit.begin(),
                           [&](Rgb pixel) { return Brighter(pixel, brightness); });
            row.resize(lit.size() * 3);
            std::memcpy(row.data(), lit.data(), row.size());
        });
    JpegJob job;
    job.info.err = jpeg_std_error(&job.failure.manager);
    job.failure.manager.error_exit = JpegExit;
    jpeg_create_compress(&job.info);
    std::size_t result = 0;
    if (Compress(job, size, device.profile.jpegQuality, made) && job.written <= capacity) {
        std::memcpy(out, job.buffer, job.written);
        result = job.written;
    }
    jpeg_destroy_compress(&job.info);
    std::free(job.buffer);
    return result;
}

// ---- streaming ------------------------------------------------------------------------------

void Signal(Handle& handle, bool readable) {
    if (readable == handle.signalled)
        return;
    if (readable) {
        const std::uint64_t one = 1;
        Real().write(handle.fd, &one, sizeof one);
    } else {
        std::uint64_t count = 0;
        Real().read(handle.fd, &count, sizeof count);
    }
    handle.signalled = readable;
}

// Moves the frames that have come due into queued buffers; frames without a buffer are lost,
// as a camera drops them.
void Advance(Handle& handle, Clock::time_point now) {
    Device& device = *handle.device;
    if (device.unplugScheduled && !device.unplugged && now >= device.unplugAt)
        device.unplugged = true;
    if (handle.streaming && handle.queue && !device.unplugged && now >= handle.firstDue) {
        Queue& queue = *handle.queue;
        const auto due = static_cast<std::uint64_t>((now - handle.firstDue) / handle.period) + 1;
        // After a long stall only the latest frames can still find a buffer.
        if (due > handle.nextFrame + kMaxBuffers)
            handle.nextFrame = due - kMaxBuffers;
        for (; handle.nextFrame < due; ++handle.nextFrame) {
            if (queue.queued.empty())
                continue;
            const Clock::time_point at =
                handle.firstDue + handle.period * static_cast<long>(handle.nextFrame);
            if (at >= handle.started + std::chrono::milliseconds(device.profile.stallFrom_ms) &&
                at < handle.started + std::chrono::milliseconds(device.profile.stallUntil_ms))
                continue;
            const unsigned index = queue.queued.front();
            queue.queued.pop_front();
            Buffer& buffer = queue.buffers[index];
            buffer.state = Buffer::State::Done;
            buffer.sequence = static_cast<std::uint32_t>(handle.nextFrame);
            const auto micros =
                std::chrono::duration_cast<std::chrono::microseconds>(at.time_since_epoch())
                    .count();
            buffer.stamp = {static_cast<time_t>(micros / 1000000),
                            static_cast<suseconds_t>(micros % 1000000)};
            queue.done.push_back(index);
        }
    }
    Signal(handle, device.unplugged || (handle.queue && !handle.queue->done.empty()));
}

void Tick(std::shared_ptr<Handle> handle) {
    std::unique_lock<std::mutex> guard(lock);
    while (!handle->stop) {
        const Clock::time_point now = Clock::now();
        Advance(*handle, now);
        handle->wake.notify_all();
        Clock::time_point next =
            now < handle->firstDue
                ? handle->firstDue
                : handle->firstDue + handle->period * static_cast<long>(handle->nextFrame);
        const Device& device = *handle->device;
        if (device.unplugged)
            next = now + std::chrono::hours(1);
        else if (device.unplugScheduled)
            next = std::min(next, device.unplugAt);
        handle->wake.wait_until(guard, next);
    }
}

// Ends the ticker; called with the lock held, which it gives up while waiting for the thread.
void StopTicker(std::unique_lock<std::mutex>& guard, Handle& handle) {
    if (!handle.ticker.joinable())
        return;
    handle.stop = true;
    handle.wake.notify_all();
    std::thread ticker = std::move(handle.ticker);
    guard.unlock();
    ticker.join();
    guard.lock();
    handle.stop = false;
}

void StopStreaming(std::unique_lock<std::mutex>& guard, Handle& handle) {
    StopTicker(guard, handle);
    handle.streaming = false;
    if (handle.queue) {
        for (Buffer& buffer : handle.queue->buffers)
            buffer.state = Buffer::State::User;
        handle.queue->queued.clear();
        handle.queue->done.clear();
    }
    Signal(handle, false);
    handle.wake.notify_all();
}

bool Mapped(const Queue& queue) {
    const auto found = S().mappingCount.find(queue.serial);
    return found != S().mappingCount.end() && found->second > 0;
}

Handle* QueueOwner(const Device& device) {
    for (const auto& [fd, handle] : S().handles)
        if (handle->device.get() == &device && handle->queue)
            return handle.get();
    return nullptr;
}

int RequestBuffers(std::unique_lock<std::mutex>& guard, Handle& handle,
                   v4l2_requestbuffers& request) {
    (void)guard;
    if (request.type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
        return Fail(EINVAL);
    if (request.memory != V4L2_MEMORY_MMAP)
        return Fail(EINVAL);
    if (handle.streaming)
        return Fail(EBUSY);
    Handle* owner = QueueOwner(*handle.device);
    if (owner && owner != &handle)
        return Fail(EBUSY);
    // Buffers still mapped cannot be freed, as with the kernel's buffer queues.
    if (handle.queue && Mapped(*handle.queue))
        return Fail(EBUSY);
    handle.queue.reset();
    request.capabilities = V4L2_BUF_CAP_SUPPORTS_MMAP;
    if (request.count == 0)
        return 0;
    const unsigned count = std::clamp(request.count, kMinBuffers, kMaxBuffers);
    v4l2_pix_format pix;
    FillPixFormat(*handle.device, CurrentFormat(*handle.device), handle.device->size, pix);
    auto queue = std::make_shared<Queue>();
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    queue->imageSize = pix.sizeimage;
    queue->stride = (pix.sizeimage + page - 1) / page * page;
    queue->memory = queue->stride * count;
    queue->memfd = memfd_create("v4l2cam-buffers", MFD_CLOEXEC);
    if (queue->memfd < 0 || ftruncate(queue->memfd, static_cast<off_t>(queue->memory)) != 0)
        return Fail(ENOMEM);
    queue->pixels =
        Real().mmap(nullptr, queue->memory, PROT_READ | PROT_WRITE, MAP_SHARED, queue->memfd, 0);
    if (queue->pixels == MAP_FAILED)
        return Fail(ENOMEM);
    queue->serial = S().nextSerial++;
    queue->buffers.resize(count);
    handle.queue = std::move(queue);
    request.count = count;
    return 0;
}

void DescribeBuffer(const Handle& handle, unsigned index, v4l2_buffer& buffer) {
    const Queue& queue = *handle.queue;
    const Buffer& state = queue.buffers[index];
    buffer.index = index;
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.length = static_cast<__u32>(queue.imageSize);
    buffer.m.offset = static_cast<__u32>(queue.stride * index);
    buffer.field = V4L2_FIELD_NONE;
    buffer.flags = V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC | V4L2_BUF_FLAG_TSTAMP_SRC_SOE;
    if (Mapped(queue))
        buffer.flags |= V4L2_BUF_FLAG_MAPPED;
    if (state.state == Buffer::State::Queued)
        buffer.flags |= V4L2_BUF_FLAG_QUEUED;
    if (state.state == Buffer::State::Done)
        buffer.flags |= V4L2_BUF_FLAG_DONE;
}

int Dequeue(std::unique_lock<std::mutex>& guard, const std::shared_ptr<Handle>& handle,
            v4l2_buffer& buffer) {
    if (buffer.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || buffer.memory != V4L2_MEMORY_MMAP ||
        !handle->queue)
        return Fail(EINVAL);
    if (!handle->streaming)
        return Fail(EINVAL);
    for (;;) {
        Advance(*handle, Clock::now());
        if (handle->device->unplugged)
            return Fail(ENODEV);
        if (!handle->streaming || !handle->queue)
            return Fail(EINVAL);
        if (!handle->queue->done.empty())
            break;
        if (!handle->blocking)
            return Fail(EAGAIN);
        handle->wake.wait_for(guard, std::chrono::milliseconds(100));
    }
    std::shared_ptr<Queue> queue = handle->queue;
    const unsigned index = queue->done.front();
    queue->done.pop_front();
    Buffer& state = queue->buffers[index];
    state.state = Buffer::State::User;
    Signal(*handle, !queue->done.empty());
    const Device& device = *handle->device;
    const Format& format = CurrentFormat(device);
    const FrameSize size = device.size;
    const auto brightness = [&] {
        for (const ControlSpec& control : device.profile.controls)
            if (control.id == V4L2_CID_BRIGHTNESS)
                return device.values.at(control.id) - control.defaultValue;
        return 0;
    }();
    const std::uint32_t sequence = state.sequence;
    DescribeBuffer(*handle, index, buffer);
    buffer.sequence = sequence;
    buffer.timestamp = state.stamp;
    ++handle->device->framesDelivered;
    // The buffer is the caller's now; the picture is drawn without holding up the ticker.
    guard.unlock();
    std::uint8_t* pixels = static_cast<std::uint8_t*>(queue->pixels) + queue->stride * index;
    const std::size_t used =
        format.fourcc == V4L2_PIX_FMT_YUYV
            ? RenderYuyv(device, size, sequence, brightness, pixels, queue->imageSize)
            : RenderJpeg(device, size, sequence, brightness, pixels, queue->imageSize);
    guard.lock();
    // A spoilt frame, as a camera sends one after a lost USB packet: cut short and flagged.
    const std::uint32_t every = device.profile.errorEvery;
    const bool spoilt = used == 0 || (every > 0 && sequence % every == every - 1);
    buffer.bytesused = static_cast<__u32>(spoilt ? used / 2 : used);
    if (spoilt)
        buffer.flags |= V4L2_BUF_FLAG_ERROR;
    return 0;
}

int StreamOn(const std::shared_ptr<Handle>& handle, const int* type) {
    if (*type != V4L2_BUF_TYPE_VIDEO_CAPTURE || !handle->queue)
        return Fail(EINVAL);
    if (handle->streaming)
        return 0;
    Device& device = *handle->device;
    const auto [numerator, denominator] = device.profile.intervals[device.interval];
    // A USB port without the bandwidth for the stream, as uvcvideo reports it.
    v4l2_pix_format pix;
    FillPixFormat(device, CurrentFormat(device), device.size, pix);
    if (device.profile.bandwidth_kB && std::uint64_t{pix.sizeimage} * denominator / numerator >
                                           std::uint64_t{device.profile.bandwidth_kB} * 1000)
        return Fail(ENOSPC);
    handle->period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(double(numerator) / denominator));
    const Clock::time_point now = Clock::now();
    handle->started = now;
    handle->firstDue = now + (device.profile.firstFrame_ms
                                  ? std::chrono::milliseconds(device.profile.firstFrame_ms)
                                  : handle->period);
    handle->nextFrame = 0;
    handle->streaming = true;
    if (device.profile.unplugAfter_ms && !device.unplugScheduled) {
        device.unplugScheduled = true;
        device.unplugAt = now + std::chrono::milliseconds(device.profile.unplugAfter_ms);
    }
    handle->ticker = std::thread(Tick, handle);
    return 0;
}

// ---- controls -------------------------------------------------------------------------------

const ControlSpec* FindControl(const Device& device, std::uint32_t id) {
    for (const ControlSpec& control : device.profile.controls)
        if (control.id == id)
            return &control;
    return nullptr;
}

bool Inactive(const Device& device, const ControlSpec& control) {
    return control.activeWithId != 0 &&
           device.values.at(control.activeWithId) != control.activeWithValue;
}

int QueryControl(const Device& device, v4l2_queryctrl& query) {
    const std::uint32_t flags = V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND;
    const std::uint32_t id = query.id & ~flags;
    const ControlSpec* found = nullptr;
    if (query.id & flags) {
        for (const ControlSpec& control : device.profile.controls)
            if (control.id > id && (!found || control.id < found->id))
                found = &control;
    } else {
        found = FindControl(device, id);
    }
    if (!found)
        return Fail(EINVAL);
    query = {};
    query.id = found->id;
    query.type = found->type;
    CopyText(query.name, sizeof query.name, found->name);
    query.minimum = found->minimum;
    query.maximum = found->maximum;
    query.step = found->step;
    query.default_value = found->defaultValue;
    if (Inactive(device, *found))
        query.flags |= V4L2_CTRL_FLAG_INACTIVE;
    return 0;
}

int QueryMenu(const Device& device, v4l2_querymenu& menu) {
    const ControlSpec* control = FindControl(device, menu.id);
    if (!control || control->type != V4L2_CTRL_TYPE_MENU)
        return Fail(EINVAL);
    for (const MenuItem& item : control->items) {
        if (static_cast<std::uint32_t>(item.index) == menu.index) {
            CopyText(menu.name, sizeof menu.name, item.name);
            menu.reserved = 0;
            return 0;
        }
    }
    return Fail(EINVAL);
}

int SetControl(Device& device, std::uint32_t id, std::int32_t& value) {
    const ControlSpec* control = FindControl(device, id);
    if (!control)
        return Fail(EINVAL);
    // The camera refuses a value its automatic mode rules.
    if (Inactive(device, *control))
        return Fail(EACCES);
    if (control->type == V4L2_CTRL_TYPE_MENU) {
        const bool listed = std::any_of(control->items.begin(), control->items.end(),
                                        [&](const MenuItem& item) { return item.index == value; });
        if (!listed)
            return Fail(EINVAL);
    } else if (control->type == V4L2_CTRL_TYPE_BOOLEAN) {
        value = value != 0;
    } else {
        const std::int64_t clamped =
            std::clamp<std::int64_t>(value, control->minimum, control->maximum);
        const std::int64_t steps = (clamped - control->minimum + control->step / 2) / control->step;
        value = static_cast<std::int32_t>(
            std::min<std::int64_t>(control->minimum + steps * control->step, control->maximum));
    }
    device.values[id] = value;
    return 0;
}

int ExtendedControls(Device& device, unsigned long request, v4l2_ext_controls& list) {
    if (list.count > 64 || (list.count && !list.controls))
        return Fail(EINVAL);
    for (std::uint32_t i = 0; i < list.count; ++i) {
        v4l2_ext_control& control = list.controls[i];
        list.error_idx = i;
        if (!FindControl(device, control.id))
            return Fail(EINVAL);
        if (request == VIDIOC_G_EXT_CTRLS) {
            control.value = device.values.at(control.id);
        } else if (request == VIDIOC_S_EXT_CTRLS) {
            std::int32_t value = control.value;
            if (SetControl(device, control.id, value) != 0)
                return -1;
            control.value = value;
        }
    }
    list.error_idx = list.count;
    return 0;
}

// ---- formats --------------------------------------------------------------------------------

std::size_t FormatIndex(const Device& device, std::uint32_t fourcc) {
    for (std::size_t i = 0; i < device.profile.formats.size(); ++i)
        if (device.profile.formats[i].fourcc == fourcc)
            return i;
    return 0; // an unknown format gets the default one, as UVC does
}

int TryFormat(Handle& handle, v4l2_format& format, bool apply) {
    Device& device = *handle.device;
    if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
        return Fail(EINVAL);
    const std::size_t index = FormatIndex(device, format.fmt.pix.pixelformat);
    const Format& chosen = device.profile.formats[index];
    const FrameSize size = NearestSize(chosen, format.fmt.pix.width, format.fmt.pix.height);
    if (apply) {
        if (handle.streaming || (handle.queue && !handle.queue->buffers.empty()) ||
            QueueOwner(device))
            return Fail(EBUSY);
        device.format = index;
        device.size = size;
    }
    FillPixFormat(device, chosen, size, format.fmt.pix);
    return 0;
}

int Parameters(Handle& handle, v4l2_streamparm& parm, bool apply) {
    Device& device = *handle.device;
    if (parm.type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
        return Fail(EINVAL);
    const auto& intervals = device.profile.intervals;
    if (apply) {
        if (handle.streaming)
            return Fail(EBUSY);
        const v4l2_fract wanted = parm.parm.capture.timeperframe;
        const double seconds =
            wanted.denominator ? double(wanted.numerator) / wanted.denominator : 0;
        std::size_t best = 0;
        for (std::size_t i = 1; i < intervals.size(); ++i) {
            const auto distance = [&](std::size_t k) {
                return std::abs(double(intervals[k].first) / intervals[k].second - seconds);
            };
            if (distance(i) < distance(best))
                best = i;
        }
        if (wanted.denominator && wanted.numerator)
            device.interval = best;
    }
    parm.parm.capture = {};
    parm.parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
    parm.parm.capture.timeperframe = {intervals[device.interval].first,
                                      intervals[device.interval].second};
    return 0;
}

int CaptureIoctl(std::unique_lock<std::mutex>& guard, const std::shared_ptr<Handle>& handle,
                 unsigned long request, void* argument) {
    Device& device = *handle->device;
    switch (request) {
    case VIDIOC_ENUM_FMT: {
        auto& description = *static_cast<v4l2_fmtdesc*>(argument);
        if (description.type != V4L2_BUF_TYPE_VIDEO_CAPTURE ||
            description.index >= device.profile.formats.size())
            return Fail(EINVAL);
        const Format& format = device.profile.formats[description.index];
        const std::uint32_t index = description.index;
        description = {};
        description.index = index;
        description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        description.pixelformat = format.fourcc;
        if (format.fourcc == V4L2_PIX_FMT_MJPEG)
            description.flags = V4L2_FMT_FLAG_COMPRESSED;
        CopyText(description.description, sizeof description.description, format.description);
        return 0;
    }
    case VIDIOC_G_FMT: {
        auto& format = *static_cast<v4l2_format*>(argument);
        if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return Fail(EINVAL);
        FillPixFormat(device, CurrentFormat(device), device.size, format.fmt.pix);
        return 0;
    }
    case VIDIOC_TRY_FMT:
    case VIDIOC_S_FMT:
        return TryFormat(*handle, *static_cast<v4l2_format*>(argument), request == VIDIOC_S_FMT);
    case VIDIOC_ENUM_FRAMESIZES: {
        auto& size = *static_cast<v4l2_frmsizeenum*>(argument);
        const auto format =
            std::find_if(device.profile.formats.begin(), device.profile.formats.end(),
                         [&](const Format& f) { return f.fourcc == size.pixel_format; });
        if (format == device.profile.formats.end() || size.index >= format->sizes.size())
            return Fail(EINVAL);
        size.type = V4L2_FRMSIZE_TYPE_DISCRETE;
        size.discrete = {format->sizes[size.index].width, format->sizes[size.index].height};
        return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
        auto& interval = *static_cast<v4l2_frmivalenum*>(argument);
        const auto format =
            std::find_if(device.profile.formats.begin(), device.profile.formats.end(),
                         [&](const Format& f) { return f.fourcc == interval.pixel_format; });
        if (format == device.profile.formats.end() ||
            std::none_of(format->sizes.begin(), format->sizes.end(),
                         [&](const FrameSize& s) {
                             return s.width == interval.width && s.height == interval.height;
                         }) ||
            interval.index >= device.profile.intervals.size())
            return Fail(EINVAL);
        interval.type = V4L2_FRMIVAL_TYPE_DISCRETE;
        interval.discrete = {device.profile.intervals[interval.index].first,
                             device.profile.intervals[interval.index].second};
        return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM:
        return Parameters(*handle, *static_cast<v4l2_streamparm*>(argument),
                          request == VIDIOC_S_PARM);
    case VIDIOC_REQBUFS:
        return RequestBuffers(guard, *handle, *static_cast<v4l2_requestbuffers*>(argument));
    case VIDIOC_QUERYBUF: {
        auto& buffer = *static_cast<v4l2_buffer*>(argument);
        if (buffer.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || !handle->queue ||
            buffer.index >= handle->queue->buffers.size())
            return Fail(EINVAL);
        const unsigned index = buffer.index;
        buffer = {};
        DescribeBuffer(*handle, index, buffer);
        return 0;
    }
    case VIDIOC_QBUF: {
        auto& buffer = *static_cast<v4l2_buffer*>(argument);
        if (buffer.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || buffer.memory != V4L2_MEMORY_MMAP ||
            !handle->queue || buffer.index >= handle->queue->buffers.size() ||
            handle->queue->buffers[buffer.index].state != Buffer::State::User)
            return Fail(EINVAL);
        handle->queue->buffers[buffer.index].state = Buffer::State::Queued;
        handle->queue->queued.push_back(buffer.index);
        DescribeBuffer(*handle, buffer.index, buffer);
        return 0;
    }
    case VIDIOC_DQBUF:
        return Dequeue(guard, handle, *static_cast<v4l2_buffer*>(argument));
    case VIDIOC_STREAMON:
        return StreamOn(handle, static_cast<const int*>(argument));
    case VIDIOC_STREAMOFF:
        if (*static_cast<const int*>(argument) != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return Fail(EINVAL);
        StopStreaming(guard, *handle);
        return 0;
    case VIDIOC_G_INPUT:
        *static_cast<int*>(argument) = 0;
        return 0;
    case VIDIOC_S_INPUT:
        return *static_cast<const int*>(argument) == 0 ? 0 : Fail(EINVAL);
    case VIDIOC_ENUMINPUT: {
        auto& input = *static_cast<v4l2_input*>(argument);
        if (input.index != 0)
            return Fail(EINVAL);
        input = {};
        CopyText(input.name, sizeof input.name, "Camera 1");
        input.type = V4L2_INPUT_TYPE_CAMERA;
        return 0;
    }
    case VIDIOC_QUERYCTRL:
        return QueryControl(device, *static_cast<v4l2_queryctrl*>(argument));
    case VIDIOC_QUERYMENU:
        return QueryMenu(device, *static_cast<v4l2_querymenu*>(argument));
    case VIDIOC_G_CTRL: {
        auto& control = *static_cast<v4l2_control*>(argument);
        if (!FindControl(device, control.id))
            return Fail(EINVAL);
        control.value = device.values.at(control.id);
        return 0;
    }
    case VIDIOC_S_CTRL: {
        auto& control = *static_cast<v4l2_control*>(argument);
        return SetControl(device, control.id, control.value);
    }
    case VIDIOC_G_EXT_CTRLS:
    case VIDIOC_S_EXT_CTRLS:
    case VIDIOC_TRY_EXT_CTRLS:
        return ExtendedControls(device, request, *static_cast<v4l2_ext_controls*>(argument));
    default:
        return Fail(ENOTTY);
    }
}

} // namespace

const RealCalls& Real() {
    static const RealCalls calls = {
        Next<int (*)(const char*, int, ...)>("open"),
        Next<int (*)(int)>("close"),
        Next<int (*)(int, unsigned long, ...)>("ioctl"),
        Next<ssize_t (*)(int, void*, size_t)>("read"),
        Next<ssize_t (*)(int, const void*, size_t)>("write"),
        Next<void* (*)(void*, size_t, int, int, int, off_t)>("mmap"),
        Next<int (*)(void*, size_t)>("munmap"),
        Next<long (*)(long, ...)>("syscall"),
    };
    return calls;
}

bool Owns(int fd) {
    return fd >= 0 && fd < kMaxFd && owned[fd].load(std::memory_order_acquire);
}

std::optional<int> Open(const char* path, int flags) {
    Real(); // resolved before the lock, as dlsym may take locks of its own
    std::lock_guard<std::mutex> guard(lock);
    int error = 0;
    const std::optional<std::shared_ptr<Device>> found = Lookup(path, error);
    if (!found)
        return std::nullopt;
    const std::shared_ptr<Device>& device = *found;
    if (!device)
        return Fail(error);
    ++device->opens;
    if (device->unplugged)
        return Fail(ENOENT);
    if (device->profile.kind == Profile::Kind::Refused)
        return Fail(EACCES);
    if (device->profile.exclusive && device->openHandles > 0)
        return Fail(EBUSY);
    const int fd = eventfd(0, EFD_NONBLOCK | ((flags & O_CLOEXEC) ? EFD_CLOEXEC : 0));
    if (fd < 0)
        return -1;
    if (fd >= kMaxFd) {
        Real().close(fd);
        return Fail(EMFILE);
    }
    auto handle = std::make_shared<Handle>();
    handle->fd = fd;
    handle->device = device;
    handle->blocking = (flags & O_NONBLOCK) == 0;
    ++device->openHandles;
    S().handles[fd] = std::move(handle);
    owned[fd].store(true, std::memory_order_release);
    return fd;
}

std::optional<int> Stat(const char* path, struct stat* st) {
    std::lock_guard<std::mutex> guard(lock);
    int error = 0;
    const std::optional<std::shared_ptr<Device>> found = Lookup(path, error);
    if (!found)
        return std::nullopt;
    if (!*found || (*found)->unplugged)
        return Fail(ENOENT);
    *st = {};
    st->st_mode = S_IFCHR | 0660;
    st->st_rdev = makedev(81, (*found)->minor);
    st->st_nlink = 1;
    return 0;
}

std::optional<int> Access(const char* path, int mode) {
    std::lock_guard<std::mutex> guard(lock);
    int error = 0;
    const std::optional<std::shared_ptr<Device>> found = Lookup(path, error);
    if (!found)
        return std::nullopt;
    if (!*found || (*found)->unplugged)
        return Fail(ENOENT);
    if ((*found)->profile.kind == Profile::Kind::Refused && (mode & (R_OK | W_OK)))
        return Fail(EACCES);
    return 0;
}

int Fstat(int fd, struct stat* st) {
    std::lock_guard<std::mutex> guard(lock);
    const std::shared_ptr<Handle> handle = Find(fd);
    if (!handle)
        return Fail(EBADF);
    *st = {};
    st->st_mode = S_IFCHR | 0660;
    st->st_rdev = makedev(81, handle->device->minor);
    st->st_nlink = 1;
    return 0;
}

int Dup(int fd, int copy) {
    std::lock_guard<std::mutex> guard(lock);
    const std::shared_ptr<Handle> handle = Find(fd);
    if (!handle || copy < 0) {
        if (copy >= 0)
            Real().close(copy);
        return Fail(EBADF);
    }
    if (copy >= kMaxFd) {
        Real().close(copy);
        return Fail(EMFILE);
    }
    // The copy shares the open file: its queue, its stream and its readiness.
    S().handles[copy] = handle;
    owned[copy].store(true, std::memory_order_release);
    return copy;
}

int Close(int fd) {
    std::unique_lock<std::mutex> guard(lock);
    const std::shared_ptr<Handle> handle = Find(fd);
    if (!handle)
        return Real().close(fd);
    owned[fd].store(false, std::memory_order_release);
    S().handles.erase(fd);
    // A driver only lets go of the file when its last descriptor closes.
    for (const auto& [other, alias] : S().handles) {
        if (alias == handle) {
            if (handle->fd == fd)
                handle->fd = other;
            return Real().close(fd);
        }
    }
    StopStreaming(guard, *handle);
    --handle->device->openHandles;
    // Mappings of the buffers stay valid after the close, as they do with a driver.
    handle->queue.reset();
    return Real().close(fd);
}

int Ioctl(int fd, unsigned long request, void* argument) {
    std::unique_lock<std::mutex> guard(lock);
    const std::shared_ptr<Handle> handle = Find(fd);
    if (!handle)
        return Fail(EBADF);
    if (!argument)
        return Fail(EFAULT);
    Device& device = *handle->device;
    Advance(*handle, Clock::now());
    if (device.unplugged)
        return Fail(ENODEV);
    if (request == VIDIOC_QUERYCAP) {
        auto& caps = *static_cast<v4l2_capability*>(argument);
        caps = {};
        CopyText(caps.driver, sizeof caps.driver, device.profile.driver);
        CopyText(caps.card, sizeof caps.card, device.profile.card);
        CopyText(caps.bus_info, sizeof caps.bus_info, device.profile.bus);
        caps.version = (6u << 16) | (1u << 8);
        const std::uint32_t own =
            device.profile.kind == Profile::Kind::Metadata
                ? V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING
                : V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT;
        // The whole device can capture video even when this node only carries metadata.
        caps.capabilities =
            own | V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_DEVICE_CAPS;
        caps.device_caps = own;
        return 0;
    }
    if (device.profile.kind != Profile::Kind::Capture)
        return Fail(request == VIDIOC_ENUM_FMT || request == VIDIOC_G_FMT ||
                            request == VIDIOC_S_FMT || request == VIDIOC_TRY_FMT ||
                            request == VIDIOC_REQBUFS
                        ? EINVAL
                        : ENOTTY);
    return CaptureIoctl(guard, handle, request, argument);
}

void* Mmap(void* address, std::size_t length, int prot, int flags, int fd, off_t offset) {
    std::lock_guard<std::mutex> guard(lock);
    const std::shared_ptr<Handle> handle = Find(fd);
    if (!handle) {
        errno = EBADF;
        return MAP_FAILED;
    }
    if (handle->device->unplugged) {
        errno = ENODEV;
        return MAP_FAILED;
    }
    const Queue* queue = handle->queue.get();
    if (!queue || !(flags & MAP_SHARED) || offset < 0 ||
        static_cast<std::size_t>(offset) % queue->stride != 0 ||
        static_cast<std::size_t>(offset) / queue->stride >= queue->buffers.size() || length == 0 ||
        length > queue->stride) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    void* mapped = Real().mmap(address, length, prot, flags, queue->memfd, offset);
    if (mapped == MAP_FAILED)
        return mapped;
    S().mappings[reinterpret_cast<std::uintptr_t>(mapped)] = {queue->serial, length};
    ++S().mappingCount[queue->serial];
    return mapped;
}

void Unmapped(void* address, std::size_t) {
    std::lock_guard<std::mutex> guard(lock);
    const auto found = S().mappings.find(reinterpret_cast<std::uintptr_t>(address));
    if (found == S().mappings.end())
        return;
    if (--S().mappingCount[found->second.serial] <= 0)
        S().mappingCount.erase(found->second.serial);
    S().mappings.erase(found);
}

short PollEvents(int fd, short requested, short reported) {
    std::lock_guard<std::mutex> guard(lock);
    const std::shared_ptr<Handle> handle = Find(fd);
    if (!handle)
        return reported;
    Advance(*handle, Clock::now());
    // A queue that is not streaming, or a device that has gone, only reports an error.
    if (handle->device->unplugged || !handle->streaming)
        return POLLERR;
    const short readable =
        handle->queue && !handle->queue->done.empty() ? static_cast<short>(POLLIN | POLLRDNORM) : 0;
    return static_cast<short>((reported & ~(POLLIN | POLLRDNORM | POLLOUT | POLLWRNORM)) |
                              (readable & requested));
}

bool PollNow(int fd) {
    std::lock_guard<std::mutex> guard(lock);
    const std::shared_ptr<Handle> handle = Find(fd);
    if (!handle)
        return false;
    Advance(*handle, Clock::now());
    return handle->device->unplugged || !handle->streaming ||
           (handle->queue && !handle->queue->done.empty());
}

} // namespace v4l2cam

// ---- for tests, found with dlsym ------------------------------------------------------------

namespace {

std::shared_ptr<v4l2cam::Device> DeviceAt(const char* path) {
    const auto found = v4l2cam::S().devices.find(path ? path : "");
    return found == v4l2cam::S().devices.end() ? nullptr : found->second;
}

} // namespace

extern "C" {

// How often a node was opened (refused opens included); 0 for a node never looked at.
__attribute__((visibility("default"))) int v4l2cam_opens(const char* path) {
    std::lock_guard<std::mutex> guard(v4l2cam::lock);
    const auto device = DeviceAt(path);
    return device ? device->opens : 0;
}

// Frames handed out by a node.
__attribute__((visibility("default"))) long long v4l2cam_frames(const char* path) {
    std::lock_guard<std::mutex> guard(v4l2cam::lock);
    const auto device = DeviceAt(path);
    return device ? static_cast<long long>(device->framesDelivered) : -1;
}

// A control's value on the device; 0 when it has one.
__attribute__((visibility("default"))) int v4l2cam_control(const char* path, unsigned id,
                                                           int* value) {
    std::lock_guard<std::mutex> guard(v4l2cam::lock);
    const auto device = DeviceAt(path);
    if (!device || !device->values.count(id))
        return -1;
    *value = device->values.at(id);
    return 0;
}

// The format the device is set to.
__attribute__((visibility("default"))) int v4l2cam_format(const char* path, unsigned* fourcc,
                                                          unsigned* width, unsigned* height) {
    std::lock_guard<std::mutex> guard(v4l2cam::lock);
    const auto device = DeviceAt(path);
    if (!device || device->profile.formats.empty())
        return -1;
    *fourcc = device->profile.formats[device->format].fourcc;
    *width = device->size.width;
    *height = device->size.height;
    return 0;
}

// Pulls the camera's cable now.
__attribute__((visibility("default"))) int v4l2cam_unplug(const char* path) {
    std::lock_guard<std::mutex> guard(v4l2cam::lock);
    const auto device = DeviceAt(path);
    if (!device)
        return -1;
    device->unplugged = true;
    for (const auto& [fd, handle] : v4l2cam::S().handles) {
        if (handle->device == device) {
            v4l2cam::Signal(*handle, true);
            handle->wake.notify_all();
        }
    }
    return 0;
}

// Plugs an unplugged camera back in: the node opens again as a fresh camera in its profile's
// defaults, while descriptors of the old one stay dead.
__attribute__((visibility("default"))) int v4l2cam_plug(const char* path) {
    std::lock_guard<std::mutex> guard(v4l2cam::lock);
    const auto device = DeviceAt(path);
    if (!device || !device->unplugged)
        return -1;
    v4l2cam::S().devices.erase(path);
    return 0;
}

// Forgets every node no one has open: the next open starts from the profile afresh.
__attribute__((visibility("default"))) void v4l2cam_reset() {
    std::lock_guard<std::mutex> guard(v4l2cam::lock);
    for (auto it = v4l2cam::S().devices.begin(); it != v4l2cam::S().devices.end();)
        it = it->second->openHandles > 0 ? std::next(it) : v4l2cam::S().devices.erase(it);
}
}
