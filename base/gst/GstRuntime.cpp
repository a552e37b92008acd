#include "base/gst/GstRuntime.h"

#include "base/Error.h"
#include "base/gst/GstHandles.h"

#include <mutex>

namespace vocalyn {

void InitGStreamer() {
    static std::once_flag once;
    static QString failure;
    std::call_once(once, [] {
        GError* raw = nullptr;
        if (!gst_init_check(nullptr, nullptr, &raw)) {
            const GErrorPtr error(raw);
            failure = error ? QString::fromUtf8(error->message)
                            : QStringLiteral("GStreamer could not be initialised");
        }
    });
    if (!failure.isEmpty())
        throw Error(failure);
}

} // namespace vocalyn
