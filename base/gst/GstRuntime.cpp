#include "call/gst/GstRuntime.h"

#include "base/Error.h"

#include <mutex>

namespace vocalyn::gst {

void EnsureInitialised() {
    static std::once_flag once;
    static QString failure;
    std::call_once(once, [] {
        GError* raw = nullptr;
        if (!gst_init_check(nullptr, nullptr, &raw)) {
            const ErrorPtr error(raw);
            failure = error ? QString::fromUtf8(error->message)
                            : QStringLiteral("GStreamer could not be initialised");
        }
    });
    if (!failure.isEmpty())
        throw vocalyn::Error(failure);
}

} // namespace vocalyn::gst
