#pragma once

#include "base/gst/GstHandles.h"

namespace vocalyn::voice {

// Delivers a pipeline's messages to `handler` from the GLib main context of
// the thread that made it (the main thread; Qt's event loop runs that
// context). The watch ends with this object, so the handler may point at its owner.
class BusWatch {
public:
    BusWatch(GstElement* pipeline, GstBusFunc handler, gpointer data)
        : bus_(gst_element_get_bus(pipeline)) {
        gst_bus_add_watch(bus_.get(), handler, data);
    }
    ~BusWatch() { gst_bus_remove_watch(bus_.get()); }

    BusWatch(const BusWatch&) = delete;
    BusWatch& operator=(const BusWatch&) = delete;

private:
    GstBusPtr bus_;
};

} // namespace vocalyn::voice
