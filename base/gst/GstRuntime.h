#pragma once

// The one GStreamer start-up of the program, shared by the ring-tone player and the voice
// terminal. Free of GStreamer headers, so that code above the backends can include it.
namespace vocalyn {

// Initialises GStreamer the first time it is called, from any thread; later calls return at
// once. When it cannot start, it throws vocalyn::Error with GStreamer's reason, and it keeps
// that failure for the rest of the run: GStreamer does not promise that a second start after a
// failed one is safe, and what failed (the plug-in registry, the environment) stays broken until
// the program is started again. Every user therefore sees the same answer.
void InitGStreamer();

} // namespace vocalyn
