#include "base/gst/SoundStreams.h"

#include "base/gst/GstHandles.h"

#include <cstring>

namespace vocalyn {

namespace {

constexpr char kApplicationName[] = "Vocalyn";
constexpr char kIconName[] = "vocalyn"; // the installed icon's name

struct Label {
    const char* role;
    const char* mediaName; // null: the element names the stream itself (pulsesrc always does)
    const char* eventId;   // the sound theme's name for an event sound, or null
};

Label LabelOf(SoundStream stream) {
    switch (stream) {
    case SoundStream::Voice:
        return {"phone", "Voice", nullptr};
    case SoundStream::Microphone:
        return {"phone", nullptr, nullptr};
    case SoundStream::RingTone:
        return {"event", "Ring tone", "phone-incoming-call"};
    }
    return {};
}

bool IsPulseElement(GstElement* element) {
    GstElementFactory* factory = gst_element_get_factory(element);
    const char* name = factory ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : nullptr;
    return name && (std::strcmp(name, "pulsesink") == 0 || std::strcmp(name, "pulsesrc") == 0);
}

// pulsesink names its stream "Playback Stream", then after the title of each tag event that
// reaches it (a ring-tone file's own title, say). The name is the stream's only while the
// server stream lasts: a new format makes a new one.
struct MediaName {
    const char* name;
    bool given = false;
};

GstEvent* NameEvent(const char* name, GstTagScope scope) {
    GstTagList* tags = gst_tag_list_new(GST_TAG_TITLE, name, nullptr);
    gst_tag_list_set_scope(tags, scope);
    return gst_event_new_tag(tags);
}

// Runs on the sink's streaming thread.
GstPadProbeReturn KeepMediaName(GstPad* pad, GstPadProbeInfo* info, gpointer data) noexcept {
    auto& name = *static_cast<MediaName*>(data);
    if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
            name.given = false;
        } else if (GST_EVENT_TYPE(event) == GST_EVENT_TAG) {
            GstTagList* tags = nullptr;
            gst_event_parse_tag(event, &tags);
            GST_PAD_PROBE_INFO_DATA(info) = NameEvent(name.name, gst_tag_list_get_scope(tags));
            gst_event_unref(event);
            name.given = true;
        }
        return GST_PAD_PROBE_OK;
    }
    // The server stream exists once the format is set; no tag may have come since.
    if (!name.given) {
        name.given = true;
        gst_pad_send_event(pad, NameEvent(name.name, GST_TAG_SCOPE_STREAM));
    }
    return GST_PAD_PROBE_OK;
}

void Apply(GstElement* element, SoundStream stream) {
    if (!IsPulseElement(element))
        return;
    const Label label = LabelOf(stream);
    const GstStructurePtr properties(gst_structure_new(
        "properties", "media.role", G_TYPE_STRING, label.role, "application.name", G_TYPE_STRING,
        kApplicationName, "application.icon_name", G_TYPE_STRING, kIconName, nullptr));
    if (label.eventId)
        gst_structure_set(properties.get(), "event.id", G_TYPE_STRING, label.eventId, nullptr);
    g_object_set(element, "stream-properties", properties.get(), nullptr);
    // Names the client, where the element has not connected yet.
    g_object_set(element, "client-name", kApplicationName, nullptr);
    if (!label.mediaName)
        return;
    if (const GstPadPtr pad{gst_element_get_static_pad(element, "sink")})
        gst_pad_add_probe(pad.get(),
                          GstPadProbeType(GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                                          GST_PAD_PROBE_TYPE_BUFFER |
                                          GST_PAD_PROBE_TYPE_BUFFER_LIST),
                          KeepMediaName, new MediaName{label.mediaName},
                          [](gpointer data) { delete static_cast<MediaName*>(data); });
}

void OnElementAdded(GstBin*, GstBin*, GstElement* element, gpointer stream) noexcept {
    Apply(element, SoundStream(GPOINTER_TO_INT(stream)));
}

} // namespace

void LabelSoundStreams(GstElement* root, SoundStream stream) {
    Apply(root, stream);
    if (!GST_IS_BIN(root))
        return;
    g_signal_connect(root, "deep-element-added", G_CALLBACK(OnElementAdded),
                     GINT_TO_POINTER(int(stream)));
    using Iterator = std::unique_ptr<GstIterator, decltype(&gst_iterator_free)>;
    Iterator children(gst_bin_iterate_recurse(GST_BIN(root)), &gst_iterator_free);
    GValue child = G_VALUE_INIT;
    while (gst_iterator_next(children.get(), &child) == GST_ITERATOR_OK) {
        Apply(GST_ELEMENT(g_value_get_object(&child)), stream);
        g_value_reset(&child);
    }
    g_value_unset(&child);
}

} // namespace vocalyn
