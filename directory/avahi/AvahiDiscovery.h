#pragma once

#include "directory/avahi/AvahiSession.h"

#include <string>
#include <vector>

// The two questions the network browser asks the daemon: which domains there are, and which
// services a domain holds, each answered within a deadline.
namespace vocalyn::directory::avahi {

struct FoundService {
    std::string name; // the announced instance name
    std::string type; // for example "_workstation._tcp"
    std::string domain;
    std::string hostName; // empty until resolved
    std::uint16_t port = 0;
};

// The browse domains: the daemon's own domain first, then any that the network advertises,
// each once. Stops at the deadline with what has arrived.
std::vector<std::string> BrowseDomains(AvahiSession& session, Clock::time_point deadline,
                                       const std::function<void()>& whileWaiting);

// The services of `types` in `domain`, resolved to their host names, each once. Services not
// resolved by the deadline are left out. At most `limit` services are taken.
std::vector<FoundService> BrowseServices(AvahiSession& session, const std::string& domain,
                                         const std::vector<std::string>& types,
                                         Clock::time_point deadline,
                                         const std::function<void()>& whileWaiting,
                                         std::size_t limit = 256);

} // namespace vocalyn::directory::avahi
