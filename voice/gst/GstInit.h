#pragma once

namespace vocalyn::voice {

// Initialises GStreamer once per process (later calls return at once).
// Throws vocalyn::Error with GStreamer's reason when it cannot start.
void InitGStreamer();

} // namespace vocalyn::voice
