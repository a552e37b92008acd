#include "directory/avahi/AvahiDiscovery.h"
#include "base/Log.h"

#include <algorithm>
#include <list>

namespace vocalyn::directory::avahi {

namespace {

// What the domain browser's callback fills.
struct DomainSearch {
    std::vector<std::string> domains;
    bool finished = false;
};

void DomainFound(AvahiDomainBrowser*, AvahiIfIndex, AvahiProtocol, AvahiBrowserEvent event,
                 const char* domain, AvahiLookupResultFlags, void* context) noexcept {
    auto& search = *static_cast<DomainSearch*>(context);
    try {
        if (event == AVAHI_BROWSER_NEW && domain &&
            std::find(search.domains.begin(), search.domains.end(), domain) == search.domains.end())
            search.domains.emplace_back(domain);
    } catch (...) {
        // Out of memory: the domains found so far will do.
        LogSwallowed(lcDirectory(), "domain browser");
        search.finished = true;
    }
    if (event == AVAHI_BROWSER_ALL_FOR_NOW || event == AVAHI_BROWSER_FAILURE)
        search.finished = true;
}

struct ServiceSearch;

// One service being resolved; it lives in a std::list so that its address stays put.
struct Resolution {
    ServiceSearch* search = nullptr;
    FoundService service;
    ServiceResolverPtr resolver;
    bool finished = false;
};

struct ServiceSearch {
    std::list<Resolution> resolutions;
    std::size_t browsersFinished = 0;
    std::size_t limit = 0;
    AvahiClient* client = nullptr;
    bool outOfMemory = false;

    std::size_t Pending() const {
        return static_cast<std::size_t>(
            std::count_if(resolutions.begin(), resolutions.end(),
                          [](const Resolution& r) { return !r.finished; }));
    }
};

void ServiceResolved(AvahiServiceResolver*, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event,
                     const char*, const char*, const char*, const char* hostName,
                     const AvahiAddress*, std::uint16_t port, AvahiStringList*,
                     AvahiLookupResultFlags, void* context) noexcept {
    auto& resolution = *static_cast<Resolution*>(context);
    try {
        if (event == AVAHI_RESOLVER_FOUND && hostName) {
            resolution.service.hostName = hostName;
            resolution.service.port = port;
        }
    } catch (...) {
        LogSwallowed(lcDirectory(), "service resolver");
        resolution.search->outOfMemory = true;
    }
    // The resolver is freed with the search, outside its own callback.
    resolution.finished = true;
}

void ServiceFound(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
                  AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
                  AvahiLookupResultFlags, void* context) noexcept {
    auto& search = *static_cast<ServiceSearch*>(context);
    if (event == AVAHI_BROWSER_ALL_FOR_NOW || event == AVAHI_BROWSER_FAILURE) {
        ++search.browsersFinished;
        return;
    }
    if (event != AVAHI_BROWSER_NEW || !name || !type || !domain || search.outOfMemory)
        return;
    try {
        // A service seen on several interfaces is resolved once.
        for (const Resolution& known : search.resolutions)
            if (known.service.name == name && known.service.type == type &&
                known.service.domain == domain)
                return;
        if (search.resolutions.size() >= search.limit)
            return;
        Resolution& resolution = search.resolutions.emplace_back();
        resolution.search = &search;
        resolution.service.name = name;
        resolution.service.type = type;
        resolution.service.domain = domain;
        // The browser's interface and protocol; an IPv4 address, as the program speaks only
        // IPv4.
        resolution.resolver.reset(avahi_service_resolver_new(
            search.client, interface, protocol, name, type, domain, AVAHI_PROTO_INET,
            AvahiLookupFlags(0), &ServiceResolved, &resolution));
        if (!resolution.resolver)
            resolution.finished = true;
    } catch (...) {
        LogSwallowed(lcDirectory(), "service browser");
        search.outOfMemory = true;
    }
}

} // namespace

std::vector<std::string> BrowseDomains(AvahiSession& session, Clock::time_point deadline,
                                       const std::function<void()>& whileWaiting) {
    DomainSearch search;
    if (const char* own = avahi_client_get_domain_name(session.client()))
        search.domains.emplace_back(own);
    DomainBrowserPtr browser(avahi_domain_browser_new(
        session.client(), AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, nullptr, AVAHI_DOMAIN_BROWSER_BROWSE,
        AvahiLookupFlags(0), &DomainFound, &search));
    if (browser)
        session.WaitUntil([&search] { return search.finished; }, deadline, whileWaiting);
    return search.domains;
}

std::vector<FoundService> BrowseServices(AvahiSession& session, const std::string& domain,
                                         const std::vector<std::string>& types,
                                         Clock::time_point deadline,
                                         const std::function<void()>& whileWaiting,
                                         std::size_t limit) {
    ServiceSearch search;
    search.limit = limit;
    search.client = session.client();
    // Freed before `search`, so that no callback can reach it afterwards.
    std::vector<ServiceBrowserPtr> browsers;
    for (const std::string& type : types) {
        ServiceBrowserPtr browser(avahi_service_browser_new(
            session.client(), AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, type.c_str(), domain.c_str(),
            AvahiLookupFlags(0), &ServiceFound, &search));
        if (browser)
            browsers.push_back(std::move(browser));
    }
    session.WaitUntil(
        [&] {
            return search.outOfMemory ||
                   (search.browsersFinished >= browsers.size() && search.Pending() == 0);
        },
        deadline, whileWaiting);
    browsers.clear();

    std::vector<FoundService> found;
    for (Resolution& resolution : search.resolutions) {
        resolution.resolver.reset();
        if (!resolution.service.hostName.empty())
            found.push_back(std::move(resolution.service));
    }
    return found;
}

} // namespace vocalyn::directory::avahi
