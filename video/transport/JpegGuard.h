#pragma once

// What the libjpeg wrappers share: an error manager that never exits the process, and the one
// place where libjpeg may jump to. Only JpegCodec.cpp includes this.

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

namespace vocalyn::video::jpeg {

// Why a run of libjpeg ended early.
enum class Stop { None = 1, Error, Warning, TooManyScans, OutputFull };

// The error manager of one libjpeg object. A fatal error, a warning about corrupt data, too many
// scans or a full output buffer all jump back to RunStep, across libjpeg's C frames and the
// step's own frame, none of which owns anything that needs destroying.
struct ErrorManager {
    jpeg_error_mgr pub; // first, so that libjpeg's pointer to it is a pointer to the whole
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    Stop stop;
    int maxScans; // 0: no limit
};

// Makes `errors` the error manager of an object about to be created.
void Attach(ErrorManager& errors, j_common_ptr cinfo);
// Makes the decompression object count its scans against errors.maxScans.
void WatchScans(ErrorManager& errors, j_decompress_ptr cinfo);
// Ends the current step of the object with a reason.
[[noreturn]] void Fail(j_common_ptr cinfo, Stop why);

// A piece of libjpeg work. It must be written like C: only trivially destructible locals and
// nothing that throws, because libjpeg may jump out of it at any call.
using Step = void (*)(void* context);

// Runs a step; false when libjpeg (or a check) ended it early, with the reason in errors.stop.
// The object must then be aborted or destroyed before it is used again.
bool RunStep(ErrorManager& errors, Step step, void* context) noexcept;

} // namespace vocalyn::video::jpeg
