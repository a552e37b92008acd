#pragma once

// The emulated camera nodes behind the preloaded C library entry points. Every function takes
// the library's own lock; none calls back into the interposed entry points.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <optional>

namespace v4l2cam {

// The C library's own functions, found past this library.
struct RealCalls {
    int (*open)(const char*, int, ...);
    int (*close)(int);
    int (*ioctl)(int, unsigned long, ...);
    ssize_t (*read)(int, void*, size_t);
    ssize_t (*write)(int, const void*, size_t);
    void* (*mmap)(void*, size_t, int, int, int, off_t);
    int (*munmap)(void*, size_t);
    long (*syscall)(long, ...);
};
const RealCalls& Real();

// True when the descriptor is an open emulated node; cheap enough for every call.
bool Owns(int fd);

// An emulated node's descriptor or -1 with errno; nothing when the path is no emulated node.
std::optional<int> Open(const char* path, int flags);
std::optional<int> Stat(const char* path, struct stat* st);
std::optional<int> Access(const char* path, int mode);

// For descriptors Owns() accepts.
int Close(int fd);
// Takes COPY, a real duplicate of the emulated descriptor FD, as another name of the same open
// node; closes it and fails when FD is not emulated.
int Dup(int fd, int copy);
int Ioctl(int fd, unsigned long request, void* argument);
void* Mmap(void* address, std::size_t length, int prot, int flags, int fd, off_t offset);
int Fstat(int fd, struct stat* st);

// Forgets a mapping of a frame buffer (called after every real munmap).
void Unmapped(void* address, std::size_t length);

// The poll events of an emulated node as a driver reports them, given what the descriptor
// itself reported; and whether the node has something to report at once.
short PollEvents(int fd, short requested, short reported);
bool PollNow(int fd);

} // namespace v4l2cam
