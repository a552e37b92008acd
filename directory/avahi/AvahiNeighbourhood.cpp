#include "directory/avahi/AvahiNeighbourhood.h"

#include <QCoreApplication>

#include <algorithm>
#include <cctype>
#include <tuple>

namespace vocalyn::directory::avahi {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool IsFileService(const std::string& type) {
    return type == "_smb._tcp" || type == "_afpovertcp._tcp" || type == "_nfs._tcp" ||
           type == "_sftp-ssh._tcp";
}

// The instance name that describes a host best: its copy of this program, then the
// workstation record, then the first service in order.
const FoundService& Describing(const std::vector<FoundService>& services) {
    for (const char* type : {"_vocalyn._udp", "_workstation._tcp"})
        for (const FoundService& service : services)
            if (service.type == type)
                return service;
    return services.front();
}

// "\\host" of a server record: the host name, or empty when the path has another form.
std::string HostOfPath(const char* path) {
    const std::string text = path ? path : "";
    return text.rfind("\\\\", 0) == 0 ? text.substr(2) : std::string();
}

} // namespace

const std::vector<std::string>& ServiceTypes() {
    static const std::vector<std::string> kTypes{
        "_vocalyn._udp", "_workstation._tcp", "_smb._tcp", "_afpovertcp._tcp",
        "_nfs._tcp",     "_sftp-ssh._tcp",    "_ssh._tcp"};
    return kTypes;
}

AvahiNeighbourhood::AvahiNeighbourhood(std::function<void()> whileWaiting,
                                       std::chrono::milliseconds containerWait)
    : whileWaiting_(std::move(whileWaiting)), containerWait_(containerWait) {}

AvahiNeighbourhood::~AvahiNeighbourhood() = default;

EnumResult AvahiNeighbourhood::OpenEnum(std::uint32_t, std::uint32_t resourceType, std::uint32_t,
                                        const NetResource* parent, EnumHandle& handle) {
    // Waiting lets events run; none of them may open another container meanwhile.
    if (waiting_)
        return EnumResult::ERROR_NO_NETWORK;
    struct Waiting {
        bool& flag;
        explicit Waiting(bool& f) : flag(f) { flag = true; }
        ~Waiting() { flag = false; }
    } waiting(waiting_);

    std::vector<ResourceEntry> entries;
    if (!parent) {
        // Each walk starts here: a fresh connection notices a daemon that came or went.
        servicesByHost_.clear();
        session_.reset();
        lastError_.clear();
        session_ = AvahiSession::Connect(lastError_);
        if (!session_)
            return EnumResult::ERROR_NO_NETWORK;
        entries = ListDomains();
    } else if (!session_ || !session_->usable()) {
        return EnumResult::ERROR_NO_NETWORK;
    } else if (parent->dwDisplayType == RESOURCEDISPLAYTYPE_DOMAIN && parent->lpRemoteName) {
        entries = ListServers(parent->lpRemoteName);
    } else if (parent->dwDisplayType == RESOURCEDISPLAYTYPE_SERVER) {
        const std::string host = Lower(HostOfPath(parent->lpRemoteName));
        if (!servicesByHost_.contains(host))
            return EnumResult::ERROR_NOT_CONTAINER;
        entries = ListServices(host, resourceType);
    } else {
        return EnumResult::ERROR_NOT_CONTAINER;
    }
    handle = ++lastHandle_;
    open_.emplace(handle, ResourceEnumeration(std::move(entries)));
    return EnumResult::NO_ERROR;
}

EnumResult AvahiNeighbourhood::EnumResource(EnumHandle handle, std::uint32_t& count, void* buffer,
                                            std::uint32_t& bufferSize) {
    const auto open = open_.find(handle);
    if (open == open_.end())
        return EnumResult::ERROR_INVALID_HANDLE;
    return open->second.EnumResource(count, buffer, bufferSize);
}

EnumResult AvahiNeighbourhood::CloseEnum(EnumHandle handle) {
    return open_.erase(handle) ? EnumResult::NO_ERROR : EnumResult::ERROR_INVALID_HANDLE;
}

std::vector<ResourceEntry> AvahiNeighbourhood::ListDomains() {
    std::vector<ResourceEntry> entries;
    for (std::string& domain :
         BrowseDomains(*session_, Clock::now() + containerWait_, whileWaiting_)) {
        ResourceEntry& entry = entries.emplace_back();
        entry.dwDisplayType = RESOURCEDISPLAYTYPE_DOMAIN;
        entry.dwUsage = RESOURCEUSAGE_CONTAINER;
        entry.remoteName = std::move(domain);
        entry.provider = kProviderName;
    }
    return entries;
}

std::vector<ResourceEntry> AvahiNeighbourhood::ListServers(const std::string& domain) {
    std::map<std::string, std::vector<FoundService>> byHost;
    for (FoundService& service : BrowseServices(*session_, domain, ServiceTypes(),
                                                Clock::now() + containerWait_, whileWaiting_))
        byHost[Lower(service.hostName)].push_back(std::move(service));

    // Servers in the order of their host names, as a workgroup lists its computers.
    std::vector<ResourceEntry> entries;
    for (auto& [host, services] : byHost) {
        std::sort(services.begin(), services.end(),
                  [](const FoundService& a, const FoundService& b) {
                      return std::tie(a.type, a.name) < std::tie(b.type, b.name);
                  });
        const FoundService& described = Describing(services);
        ResourceEntry& entry = entries.emplace_back();
        entry.dwDisplayType = RESOURCEDISPLAYTYPE_SERVER;
        entry.dwUsage = RESOURCEUSAGE_CONTAINER;
        entry.remoteName = "\\\\" + described.hostName;
        entry.comment = described.name;
        entry.provider = kProviderName;
        servicesByHost_[host] = std::move(services);
    }
    return entries;
}

std::vector<ResourceEntry> AvahiNeighbourhood::ListServices(const std::string& host,
                                                            std::uint32_t resourceType) {
    std::vector<ResourceEntry> entries;
    for (const FoundService& service : servicesByHost_.at(host)) {
        const std::uint32_t type =
            IsFileService(service.type) ? RESOURCETYPE_DISK : RESOURCETYPE_ANY;
        if (resourceType != RESOURCETYPE_ANY && type != resourceType)
            continue;
        ResourceEntry& entry = entries.emplace_back();
        entry.dwType = type;
        entry.dwDisplayType = RESOURCEDISPLAYTYPE_SHARE;
        entry.dwUsage = RESOURCEUSAGE_CONNECTABLE;
        entry.remoteName = "\\\\" + service.hostName + "\\" + service.name;
        entry.comment = service.type;
        entry.provider = kProviderName;
    }
    return entries;
}

std::unique_ptr<NeighbourhoodSource> MakeAvahiNeighbourhood() {
    return std::make_unique<AvahiNeighbourhood>([] {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
}

} // namespace vocalyn::directory::avahi
