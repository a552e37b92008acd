#pragma once

#include <gio/gio.h>
#include <gst/gst.h>

#include <memory>

// Owning pointers for the GLib and GStreamer objects of the GStreamer backends (the ring-tone
// player and the voice terminal). Only backend sources include this header.
namespace vocalyn {

struct GstObjectUnref {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
struct GstMessageUnref {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
struct GstCapsUnref {
    void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};
struct GstStructureFree {
    void operator()(GstStructure* structure) const { gst_structure_free(structure); }
};

template <typename T> using GstObjectPtr = std::unique_ptr<T, GstObjectUnref>;
using GstElementPtr = GstObjectPtr<GstElement>;
using GstBusPtr = GstObjectPtr<GstBus>;
using GstPadPtr = GstObjectPtr<GstPad>;
using GSocketPtr = std::unique_ptr<GSocket, GObjectUnref>;
using GSocketAddressPtr = std::unique_ptr<GSocketAddress, GObjectUnref>;
using GInetAddressPtr = std::unique_ptr<GInetAddress, GObjectUnref>;
using GCancellablePtr = std::unique_ptr<GCancellable, GObjectUnref>;
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;
using GCharPtr = std::unique_ptr<gchar, GFree>;
using GstMessagePtr = std::unique_ptr<GstMessage, GstMessageUnref>;
using GstCapsPtr = std::unique_ptr<GstCaps, GstCapsUnref>;
using GstStructurePtr = std::unique_ptr<GstStructure, GstStructureFree>;

// Takes a new reference (the pointer stays valid while the result lives).
inline GstElementPtr RefElement(GstElement* element) {
    return GstElementPtr(element ? GST_ELEMENT(gst_object_ref(element)) : nullptr);
}

// Owns a floating element: sinks the floating reference so the result holds a
// full one, whoever takes the element later.
inline GstElementPtr AdoptElement(GstElement* element) {
    return GstElementPtr(element ? GST_ELEMENT(gst_object_ref_sink(element)) : nullptr);
}

} // namespace vocalyn
