#pragma once

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-client/publish.h>
#include <avahi-common/malloc.h>
#include <avahi-common/simple-watch.h>
#include <avahi-common/thread-watch.h>

#include <memory>

// Owning pointers for the Avahi objects, each freed by its own function.
namespace vocalyn::directory::avahi {

template <class T, auto Free> struct AvahiDeleter {
    void operator()(T* object) const noexcept {
        if (object)
            Free(object);
    }
};

using SimplePollPtr =
    std::unique_ptr<AvahiSimplePoll, AvahiDeleter<AvahiSimplePoll, avahi_simple_poll_free>>;
using ThreadedPollPtr =
    std::unique_ptr<AvahiThreadedPoll, AvahiDeleter<AvahiThreadedPoll, avahi_threaded_poll_free>>;
using ClientPtr = std::unique_ptr<AvahiClient, AvahiDeleter<AvahiClient, avahi_client_free>>;
using DomainBrowserPtr =
    std::unique_ptr<AvahiDomainBrowser,
                    AvahiDeleter<AvahiDomainBrowser, avahi_domain_browser_free>>;
using ServiceBrowserPtr =
    std::unique_ptr<AvahiServiceBrowser,
                    AvahiDeleter<AvahiServiceBrowser, avahi_service_browser_free>>;
using ServiceResolverPtr =
    std::unique_ptr<AvahiServiceResolver,
                    AvahiDeleter<AvahiServiceResolver, avahi_service_resolver_free>>;
using EntryGroupPtr =
    std::unique_ptr<AvahiEntryGroup, AvahiDeleter<AvahiEntryGroup, avahi_entry_group_free>>;
// Strings that Avahi allocates for its caller.
using AvahiStringPtr = std::unique_ptr<char, AvahiDeleter<void, avahi_free>>;

} // namespace vocalyn::directory::avahi
