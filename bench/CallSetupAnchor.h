#pragma once

#include <QString>

#include <vector>

namespace vocalyn::bench {

// The anchor's times over its calls, in milliseconds.
struct AnchorResults {
    QString description;
    // The dial command at the caller -> "incoming call" at the callee.
    std::vector<double> ringing;
    // The answer command -> the caller's tone out of the callee's decoder, and the other way.
    std::vector<double> soundAtCallee;
    std::vector<double> soundAtCaller;
};

// A standard SIP client (baresip from Debian) on test hosts PREFIX-a (caller, 198.18.0.1) and
// PREFIX-b (callee, 198.18.0.2), which must be up: `calls` direct calls by IP with Opus, each
// answered after `ring_ms`. Returns why it could not run, or nothing.
QString RunAnchor(const QString& prefix, int calls, int ring_ms, AnchorResults& results);

} // namespace vocalyn::bench
