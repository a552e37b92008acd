#include "video/transport/JpegGuard.h"

namespace vocalyn::video::jpeg {

namespace {

ErrorManager& ManagerOf(j_common_ptr cinfo) {
    return *reinterpret_cast<ErrorManager*>(cinfo->err);
}

void ErrorExit(j_common_ptr cinfo) {
    Fail(cinfo, Stop::Error);
}

// Corrupt data is only a warning to libjpeg, which then goes on with made-up pixels; such a
// picture must not replace a good one.
void EmitMessage(j_common_ptr cinfo, int level) {
    if (level < 0)
        Fail(cinfo, Stop::Warning);
}

void OutputMessage(j_common_ptr) {}

void CountScans(j_common_ptr cinfo) {
    const ErrorManager& errors = ManagerOf(cinfo);
    const auto* decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (errors.maxScans > 0 && decompress->input_scan_number > errors.maxScans)
        Fail(cinfo, Stop::TooManyScans);
}

} // namespace

void Attach(ErrorManager& errors, j_common_ptr cinfo) {
    cinfo->err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = ErrorExit;
    errors.pub.emit_message = EmitMessage;
    errors.pub.output_message = OutputMessage;
    errors.stop = Stop::None;
}

void WatchScans(ErrorManager& errors, j_decompress_ptr cinfo) {
    errors.progress = {};
    errors.progress.progress_monitor = CountScans;
    cinfo->progress = &errors.progress;
}

void Fail(j_common_ptr cinfo, Stop why) {
    ErrorManager& errors = ManagerOf(cinfo);
    errors.stop = why;
    std::longjmp(errors.jump, 1);
}

bool RunStep(ErrorManager& errors, Step step, void* context) noexcept {
    errors.stop = Stop::None;
    if (setjmp(errors.jump) != 0)
        return false;
    step(context);
    return true;
}

} // namespace vocalyn::video::jpeg
