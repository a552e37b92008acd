#include "voice/gst/GstInit.h"

#include "base/Error.h"
#include "voice/gst/GstHandles.h"

#include <mutex>

namespace vocalyn::voice {

void InitGStreamer() {
    static std::once_flag once;
    // A failed attempt throws out of call_once, which lets the next call try again.
    std::call_once(once, [] {
        GError* raw = nullptr;
        if (!gst_init_check(nullptr, nullptr, &raw)) {
            GErrorPtr error(raw);
            throw Error(error ? QString::fromUtf8(error->message)
                              : QStringLiteral("GStreamer could not be initialised"));
        }
    });
}

} // namespace vocalyn::voice
