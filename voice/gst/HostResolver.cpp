#include "voice/gst/HostResolver.h"

#include "base/Log.h"
#include "base/gst/GstHandles.h"
#include "voice/gst/InetAddress.h"

namespace vocalyn::voice {

struct HostResolver::Lookup {
    GCancellablePtr cancellable{g_cancellable_new()};
    Callback done;
    bool cancelled = false;
};

IPv4 ParseDottedIPv4(const QString& text) {
    GInetAddressPtr address(g_inet_address_new_from_string(text.toUtf8().constData()));
    return ToIPv4(address.get());
}

void HostResolver::Resolve(const QString& host, Callback done) {
    Cancel();
    if (const IPv4 dotted = ParseDottedIPv4(host)) {
        done(Result{dotted, {}});
        return;
    }
    lookup_ = std::make_shared<Lookup>();
    lookup_->done = std::move(done);
    std::unique_ptr<GResolver, GObjectUnref> resolver(g_resolver_get_default());
    // The lookup keeps its own reference to `Lookup`, released in Finished.
    g_resolver_lookup_by_name_with_flags_async(
        resolver.get(), host.toUtf8().constData(), G_RESOLVER_NAME_LOOKUP_FLAGS_IPV4_ONLY,
        lookup_->cancellable.get(), &HostResolver::Finished, new std::shared_ptr<Lookup>(lookup_));
}

void HostResolver::Cancel() {
    if (!lookup_)
        return;
    lookup_->cancelled = true;
    g_cancellable_cancel(lookup_->cancellable.get());
    lookup_.reset();
}

void HostResolver::Finished(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::shared_ptr<Lookup>> owner(static_cast<std::shared_ptr<Lookup>*>(data));
    const std::shared_ptr<Lookup> lookup = *owner;
    GError* rawError = nullptr;
    GList* addresses =
        g_resolver_lookup_by_name_with_flags_finish(G_RESOLVER(source), result, &rawError);
    GErrorPtr error(rawError);
    Result answer;
    for (GList* item = addresses; item && !answer.address; item = item->next)
        answer.address = ToIPv4(G_INET_ADDRESS(item->data));
    g_resolver_free_addresses(addresses);
    if (lookup->cancelled)
        return;
    if (!answer.address)
        answer.error = error ? QString::fromUtf8(error->message)
                             : QStringLiteral("the host has no IPv4 address");
    try {
        lookup->done(answer);
    } catch (...) {
        // This runs from GLib's main loop: nothing may escape into C.
        LogSwallowed(lcVoice(), "host lookup for the voice link");
    }
}

} // namespace vocalyn::voice
