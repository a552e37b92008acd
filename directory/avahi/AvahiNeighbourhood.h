#pragma once

#include "directory/NeighbourhoodSource.h"
#include "directory/ResourceEnumeration.h"
#include "directory/avahi/AvahiDiscovery.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>

// The network neighbourhood as mDNS / DNS-SD shows it, through the Avahi daemon. The tree:
//   root    → the browse domains ("local" first), containers;
//   domain  → one server per host that announces any of ServiceTypes(), a container whose path
//             is "\\" + host name and whose description is its announced instance name;
//   server  → its services, not containers.
namespace vocalyn::directory::avahi {

// The provider name of every record.
inline constexpr char kProviderName[] = "Multicast DNS";

// The service types whose hosts count as computers of the neighbourhood: workstations, file
// servers and copies of this program.
const std::vector<std::string>& ServiceTypes();

class AvahiNeighbourhood : public NeighbourhoodSource {
public:
    // `whileWaiting` runs while the daemon is being waited for, every 25 ms at most.
    explicit AvahiNeighbourhood(std::function<void()> whileWaiting = {},
                                std::chrono::milliseconds containerWait = kContainerWait);
    ~AvahiNeighbourhood() override;

    // The longest one container is waited for.
    static constexpr std::chrono::milliseconds kContainerWait{2000};

    EnumResult OpenEnum(std::uint32_t scope, std::uint32_t resourceType, std::uint32_t usage,
                        const NetResource* parent, EnumHandle& handle) override;
    EnumResult EnumResource(EnumHandle handle, std::uint32_t& count, void* buffer,
                            std::uint32_t& bufferSize) override;
    EnumResult CloseEnum(EnumHandle handle) override;

    // Why the last root could not be opened; empty when it could.
    const std::string& LastError() const { return lastError_; }

private:
    std::vector<ResourceEntry> ListDomains();
    std::vector<ResourceEntry> ListServers(const std::string& domain);
    std::vector<ResourceEntry> ListServices(const std::string& host, std::uint32_t resourceType);

    std::function<void()> whileWaiting_;
    std::chrono::milliseconds containerWait_;
    std::unique_ptr<AvahiSession> session_;
    // The services of every host found by the last domain listing, by host name in lower case.
    std::map<std::string, std::vector<FoundService>> servicesByHost_;
    std::map<EnumHandle, ResourceEnumeration> open_;
    EnumHandle lastHandle_ = 0;
    std::string lastError_;
    bool waiting_ = false;
};

// The program's source: waits process pending events other than user input, so the windows
// stay painted and the busy picture turns.
std::unique_ptr<NeighbourhoodSource> MakeAvahiNeighbourhood();

} // namespace vocalyn::directory::avahi
