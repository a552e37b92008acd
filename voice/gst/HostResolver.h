#pragma once

#include "voice/gst/RtpPacketFilter.h"

#include <QString>

#include <gio/gio.h>

#include <functional>
#include <memory>

namespace vocalyn::voice {

// Finds the IPv4 address of the peer without blocking the thread that asks:
// a dotted address is answered at once, a name through the system resolver
// (so .local names work through nss-mdns), answered from the GLib main
// context of the asking thread, which Qt's event loop runs.
class HostResolver {
public:
    struct Result {
        IPv4 address = 0; // 0 when not found
        QString error;    // why not, when not found
    };
    using Callback = std::function<void(const Result&)>;

    HostResolver() = default;
    ~HostResolver() { Cancel(); }

    HostResolver(const HostResolver&) = delete;
    HostResolver& operator=(const HostResolver&) = delete;

    // Replaces the lookup in progress, if any: its answer is never given.
    // For a dotted address `done` runs before this returns.
    void Resolve(const QString& host, Callback done);
    void Cancel();

private:
    struct Lookup;
    static void Finished(GObject* source, GAsyncResult* result, gpointer data);

    std::shared_ptr<Lookup> lookup_;
};

// The dotted IPv4 address `text` ("127.0.0.1"), or 0 when it is not one.
IPv4 ParseDottedIPv4(const QString& text);

} // namespace vocalyn::voice
