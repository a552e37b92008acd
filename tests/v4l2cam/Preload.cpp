// The C library entry points a V4L2 program reaches a camera through, taken over for the
// emulated nodes and passed on for everything else. libv4l2 and libv4lconvert issue their
// calls through syscall(2), so that is taken over too.

#include "tests/v4l2cam/Emulator.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/select.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <dlfcn.h>
#include <optional>
#include <vector>

namespace {

using v4l2cam::Owns;
using v4l2cam::Real;

template <typename Function> Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

mode_t ModeArgument(int flags, va_list& arguments) {
    // As the C library decides it: O_TMPFILE includes O_DIRECTORY, which alone takes no mode.
    const bool needsMode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
    return needsMode ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

bool VideoPath(const char* path) {
    return path && std::strncmp(path, "/dev/video", 10) == 0;
}

int OpenAt(int directory, const char* path, int flags, mode_t mode) {
    if (VideoPath(path))
        if (const std::optional<int> fd = v4l2cam::Open(path, flags))
            return *fd;
    static const auto next = Next<int (*)(int, const char*, int, ...)>("openat");
    return next(directory, path, flags, mode);
}

// Patches the events of emulated nodes into a poll's result; the count of ready descriptors
// follows.
int PatchPoll(pollfd* fds, nfds_t count, int ready) {
    if (ready < 0)
        return ready;
    for (nfds_t i = 0; i < count; ++i) {
        if (!Owns(fds[i].fd))
            continue;
        const short before = fds[i].revents;
        fds[i].revents = v4l2cam::PollEvents(fds[i].fd, fds[i].events, before);
        ready += (fds[i].revents != 0) - (before != 0);
    }
    return ready;
}

bool AnyNow(const pollfd* fds, nfds_t count) {
    bool now = false;
    for (nfds_t i = 0; i < count; ++i)
        if (Owns(fds[i].fd) && v4l2cam::PollNow(fds[i].fd))
            now = true;
    return now;
}

bool AnyOwned(const pollfd* fds, nfds_t count) {
    for (nfds_t i = 0; i < count; ++i)
        if (Owns(fds[i].fd))
            return true;
    return false;
}

} // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    return OpenAt(AT_FDCWD, path, flags, mode);
}

EXPORT int open64(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    return OpenAt(AT_FDCWD, path, flags, mode);
}

EXPORT int openat(int directory, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    return OpenAt(directory, path, flags, mode);
}

EXPORT int openat64(int directory, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    return OpenAt(directory, path, flags, mode);
}

// The checked variants that _FORTIFY_SOURCE builds call.
EXPORT int __open_2(const char* path, int flags) {
    return OpenAt(AT_FDCWD, path, flags, 0);
}
EXPORT int __open64_2(const char* path, int flags) {
    return OpenAt(AT_FDCWD, path, flags, 0);
}
EXPORT int __openat_2(int directory, const char* path, int flags) {
    return OpenAt(directory, path, flags, 0);
}
EXPORT int __openat64_2(int directory, const char* path, int flags) {
    return OpenAt(directory, path, flags, 0);
}

EXPORT int close(int fd) {
    return Owns(fd) ? v4l2cam::Close(fd) : Real().close(fd);
}

// Duplicates of an emulated node name the same node (GStreamer streams through a duplicate).
EXPORT int dup(int fd) {
    static const auto next = Next<int (*)(int)>("dup");
    const int copy = next(fd);
    return Owns(fd) && copy >= 0 ? v4l2cam::Dup(fd, copy) : copy;
}

EXPORT int dup3(int fd, int target, int flags) {
    static const auto next = Next<int (*)(int, int, int)>("dup3");
    if (Owns(target) && target != fd)
        v4l2cam::Close(target); // dup3 closes the target first, silently
    const int copy = next(fd, target, flags);
    return Owns(fd) && copy >= 0 ? v4l2cam::Dup(fd, copy) : copy;
}

EXPORT int dup2(int fd, int target) {
    if (fd == target) {
        static const auto next = Next<int (*)(int, int)>("dup2");
        return next(fd, target);
    }
    return dup3(fd, target, 0);
}

EXPORT int fcntl(int fd, int command, ...) {
    static const auto next = Next<int (*)(int, int, ...)>("fcntl");
    va_list arguments;
    va_start(arguments, command);
    // Every command takes an int, a pointer or nothing; a long carries any of them.
    const long argument = va_arg(arguments, long);
    va_end(arguments);
    const int result = next(fd, command, argument);
    if ((command == F_DUPFD || command == F_DUPFD_CLOEXEC) && Owns(fd) && result >= 0)
        return v4l2cam::Dup(fd, result);
    return result;
}

EXPORT int fcntl64(int fd, int command, ...) {
    va_list arguments;
    va_start(arguments, command);
    const long argument = va_arg(arguments, long);
    va_end(arguments);
    return fcntl(fd, command, argument);
}

EXPORT int ioctl(int fd, unsigned long request, ...) {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    return Owns(fd) ? v4l2cam::Ioctl(fd, request, argument) : Real().ioctl(fd, request, argument);
}

EXPORT ssize_t read(int fd, void* buffer, size_t size) {
    if (Owns(fd)) {
        errno = EINVAL; // the nodes offer streaming only, no read() I/O
        return -1;
    }
    return Real().read(fd, buffer, size);
}

EXPORT ssize_t write(int fd, const void* buffer, size_t size) {
    if (Owns(fd)) {
        errno = EINVAL;
        return -1;
    }
    return Real().write(fd, buffer, size);
}

EXPORT void* mmap(void* address, size_t length, int prot, int flags, int fd, off_t offset) {
    if (Owns(fd))
        return v4l2cam::Mmap(address, length, prot, flags, fd, offset);
    return Real().mmap(address, length, prot, flags, fd, offset);
}

EXPORT void* mmap64(void* address, size_t length, int prot, int flags, int fd, off_t offset) {
    return mmap(address, length, prot, flags, fd, offset);
}

EXPORT int munmap(void* address, size_t length) {
    const int result = Real().munmap(address, length);
    if (result == 0)
        v4l2cam::Unmapped(address, length);
    return result;
}

EXPORT int poll(pollfd* fds, nfds_t count, int timeout) {
    static const auto next = Next<int (*)(pollfd*, nfds_t, int)>("poll");
    if (!AnyOwned(fds, count))
        return next(fds, count, timeout);
    return PatchPoll(fds, count, next(fds, count, AnyNow(fds, count) ? 0 : timeout));
}

EXPORT int ppoll(pollfd* fds, nfds_t count, const timespec* timeout, const sigset_t* mask) {
    static const auto next =
        Next<int (*)(pollfd*, nfds_t, const timespec*, const sigset_t*)>("ppoll");
    if (!AnyOwned(fds, count))
        return next(fds, count, timeout, mask);
    static const timespec zero{};
    return PatchPoll(fds, count, next(fds, count, AnyNow(fds, count) ? &zero : timeout, mask));
}

// select on an emulated node goes through poll, so that it sees what a driver reports.
EXPORT int select(int count, fd_set* readable, fd_set* writable, fd_set* failed, timeval* timeout) {
    static const auto next = Next<int (*)(int, fd_set*, fd_set*, fd_set*, timeval*)>("select");
    bool ours = false;
    for (int fd = 0; fd < count && fd < FD_SETSIZE && !ours; ++fd)
        ours =
            Owns(fd) && ((readable && FD_ISSET(fd, readable)) ||
                         (writable && FD_ISSET(fd, writable)) || (failed && FD_ISSET(fd, failed)));
    if (!ours)
        return next(count, readable, writable, failed, timeout);
    std::vector<pollfd> fds;
    for (int fd = 0; fd < count && fd < FD_SETSIZE; ++fd) {
        short events = 0;
        if (readable && FD_ISSET(fd, readable))
            events |= POLLIN;
        if (writable && FD_ISSET(fd, writable))
            events |= POLLOUT;
        if (failed && FD_ISSET(fd, failed))
            events |= POLLPRI;
        if (events)
            fds.push_back({fd, events, 0});
    }
    const int wait_ms =
        timeout ? static_cast<int>(timeout->tv_sec * 1000 + timeout->tv_usec / 1000) : -1;
    const int ready = poll(fds.data(), fds.size(), wait_ms);
    if (ready < 0)
        return ready;
    for (fd_set* set : {readable, writable, failed})
        if (set)
            FD_ZERO(set);
    int bits = 0;
    for (const pollfd& entry : fds) {
        // As the kernel maps them: an error makes a descriptor readable and writable.
        if (readable && (entry.revents & (POLLIN | POLLHUP | POLLERR)) && (entry.events & POLLIN))
            FD_SET(entry.fd, readable), ++bits;
        if (writable && (entry.revents & (POLLOUT | POLLERR)) && (entry.events & POLLOUT))
            FD_SET(entry.fd, writable), ++bits;
        if (failed && (entry.revents & POLLPRI))
            FD_SET(entry.fd, failed), ++bits;
    }
    return bits;
}

// The checked variants of fortified builds; the bound is the caller's array, which poll trusts.
EXPORT int __poll_chk(pollfd* fds, nfds_t count, int timeout, size_t) {
    return poll(fds, count, timeout);
}

EXPORT int __ppoll_chk(pollfd* fds, nfds_t count, const timespec* timeout, const sigset_t* mask,
                       size_t) {
    return ppoll(fds, count, timeout, mask);
}

EXPORT int stat(const char* path, struct stat* st) {
    if (const std::optional<int> result = VideoPath(path) ? v4l2cam::Stat(path, st) : std::nullopt)
        return *result;
    static const auto next = Next<int (*)(const char*, struct stat*)>("stat");
    return next(path, st);
}

EXPORT int stat64(const char* path, struct stat64* st) {
    if (const std::optional<int> result =
            VideoPath(path) ? v4l2cam::Stat(path, reinterpret_cast<struct stat*>(st))
                            : std::nullopt)
        return *result;
    static const auto next = Next<int (*)(const char*, struct stat64*)>("stat64");
    return next(path, st);
}

EXPORT int fstat(int fd, struct stat* st) {
    if (Owns(fd))
        return v4l2cam::Fstat(fd, st);
    static const auto next = Next<int (*)(int, struct stat*)>("fstat");
    return next(fd, st);
}

EXPORT int fstat64(int fd, struct stat64* st) {
    if (Owns(fd))
        return v4l2cam::Fstat(fd, reinterpret_cast<struct stat*>(st));
    static const auto next = Next<int (*)(int, struct stat64*)>("fstat64");
    return next(fd, st);
}

EXPORT int access(const char* path, int mode) {
    if (const std::optional<int> result =
            VideoPath(path) ? v4l2cam::Access(path, mode) : std::nullopt)
        return *result;
    static const auto next = Next<int (*)(const char*, int)>("access");
    return next(path, mode);
}

EXPORT long syscall(long number, ...) {
    va_list arguments;
    va_start(arguments, number);
    long a[6];
    for (long& argument : a)
        argument = va_arg(arguments, long);
    va_end(arguments);
    const auto fd = static_cast<int>(a[0]);
    switch (number) {
    case SYS_ioctl:
        if (Owns(fd))
            return v4l2cam::Ioctl(fd, static_cast<unsigned long>(a[1]),
                                  reinterpret_cast<void*>(a[2]));
        break;
    case SYS_openat:
        return OpenAt(static_cast<int>(a[0]), reinterpret_cast<const char*>(a[1]),
                      static_cast<int>(a[2]), static_cast<mode_t>(a[3]));
    case SYS_open:
        return OpenAt(AT_FDCWD, reinterpret_cast<const char*>(a[0]), static_cast<int>(a[1]),
                      static_cast<mode_t>(a[2]));
    case SYS_close:
        return close(fd);
    case SYS_dup:
        return dup(fd);
    case SYS_dup3:
        return dup3(fd, static_cast<int>(a[1]), static_cast<int>(a[2]));
    case SYS_read:
        return read(fd, reinterpret_cast<void*>(a[1]), static_cast<size_t>(a[2]));
    case SYS_write:
        return write(fd, reinterpret_cast<const void*>(a[1]), static_cast<size_t>(a[2]));
    case SYS_mmap:
        return reinterpret_cast<long>(mmap(reinterpret_cast<void*>(a[0]), static_cast<size_t>(a[1]),
                                           static_cast<int>(a[2]), static_cast<int>(a[3]),
                                           static_cast<int>(a[4]), static_cast<off_t>(a[5])));
    case SYS_munmap:
        return munmap(reinterpret_cast<void*>(a[0]), static_cast<size_t>(a[1]));
    default:
        break;
    }
    return Real().syscall(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
