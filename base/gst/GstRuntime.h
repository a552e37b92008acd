#pragma once

#include <gst/gst.h>

#include <memory>

// Start-up of GStreamer and owning handles for the C objects it hands out.
namespace vocalyn::gst {

// Initialises GStreamer the first time it is called, from any thread; later calls return at
// once. Throws vocalyn::Error with GStreamer's text when it cannot start, on every call.
void EnsureInitialised();

struct ObjectUnref {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
template <typename T> using ObjectPtr = std::unique_ptr<T, ObjectUnref>;

struct MessageUnref {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
using MessagePtr = std::unique_ptr<GstMessage, MessageUnref>;

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
using CharPtr = std::unique_ptr<gchar, GFree>;

// Takes ownership of a newly made element, whose reference is floating.
template <typename T> ObjectPtr<T> Adopt(T* floating) {
    return ObjectPtr<T>(floating ? static_cast<T*>(gst_object_ref_sink(floating)) : nullptr);
}

} // namespace vocalyn::gst
