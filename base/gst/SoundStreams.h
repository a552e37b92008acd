#pragma once

// Declared as GStreamer does, so that this header needs none of GLib.
typedef struct _GstElement GstElement;

namespace vocalyn {

// The program's sound streams as the sound server lists them. Each has its own media role, so
// that the server remembers a volume for each (PulseAudio's stream-restore, and PipeWire's, key
// on the role when there is one) and applies its policy for that role.
enum class SoundStream {
    Voice,      // the peer's voice: role "phone"
    Microphone, // our voice: role "phone"
    // Role "event", the role of alerts: "phone" would share the voice's remembered volume, and
    // "music" or "video" that of media players, which a call also pauses.
    RingTone,
};

// Names the streams of the PulseAudio elements in `root`: root itself, the elements in it now,
// and those an automatic element such as autoaudiosink makes later. Every stream says it is
// Vocalyn's, with its icon; playback streams also say which they are in their media name
// ("Voice", "Ring tone"). Elements for other sound servers are left as they are.
void LabelSoundStreams(GstElement* root, SoundStream stream);

} // namespace vocalyn
