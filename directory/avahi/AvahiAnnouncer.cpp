#include "directory/avahi/AvahiAnnouncer.h"

#include "base/Log.h"
#include "directory/avahi/AvahiSession.h"

#include <avahi-common/alternative.h>
#include <avahi-common/domain.h>
#include <avahi-common/error.h>

namespace vocalyn::directory::avahi {

namespace {

// Holds Avahi's lock for one call from outside its thread.
class PollLock {
public:
    explicit PollLock(AvahiThreadedPoll* poll) : poll_(poll) { avahi_threaded_poll_lock(poll_); }
    ~PollLock() { avahi_threaded_poll_unlock(poll_); }
    PollLock(const PollLock&) = delete;
    PollLock& operator=(const PollLock&) = delete;

private:
    AvahiThreadedPoll* poll_;
};

// A DNS-SD instance name: at most 63 bytes of UTF-8, cut between characters.
std::string InstanceName(const QString& text) {
    QByteArray utf8 = text.toUtf8();
    constexpr qsizetype kMaxBytes = AVAHI_LABEL_MAX - 1;
    if (utf8.size() > kMaxBytes) {
        qsizetype cut = kMaxBytes;
        while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80)
            --cut;
        utf8.truncate(cut);
    }
    return utf8.toStdString();
}

} // namespace

AvahiAnnouncer::AvahiAnnouncer() : poll_(avahi_threaded_poll_new()) {
    if (!poll_)
        return;
    Connect();
    if (avahi_threaded_poll_start(poll_.get()) < 0) {
        group_.reset();
        client_.reset();
        poll_.reset();
    }
}

AvahiAnnouncer::~AvahiAnnouncer() {
    if (poll_)
        avahi_threaded_poll_stop(poll_.get());
    // Avahi's thread has ended: the rest is freed on this one.
    group_.reset();
    client_.reset();
}

void AvahiAnnouncer::Connect() noexcept {
    group_.reset();
    client_.reset();
    int error = 0;
    // AVAHI_CLIENT_NO_FAIL: without a daemon the client waits for one to appear.
    client_.reset(avahi_client_new(avahi_threaded_poll_get(poll_.get()), AVAHI_CLIENT_NO_FAIL,
                                   &AvahiAnnouncer::ClientChanged, this, &error));
}

void AvahiAnnouncer::Announce(const QString& instanceName, std::uint16_t port) {
    std::string name = InstanceName(instanceName);
    if (!poll_)
        return;
    PollLock lock(poll_.get());
    wanted_ = true;
    name_ = std::move(name);
    port_ = port;
    if (client_ && avahi_client_get_state(client_.get()) == AVAHI_CLIENT_S_RUNNING)
        Register(client_.get());
}

void AvahiAnnouncer::Withdraw() {
    if (!poll_)
        return;
    PollLock lock(poll_.get());
    wanted_ = false;
    established_.clear();
    if (group_)
        avahi_entry_group_reset(group_.get());
}

QString AvahiAnnouncer::EstablishedName() const {
    if (!poll_)
        return {};
    PollLock lock(poll_.get());
    return QString::fromStdString(established_);
}

void AvahiAnnouncer::Register(AvahiClient* client) noexcept {
    try {
        established_.clear();
        if (!group_)
            group_.reset(avahi_entry_group_new(client, &AvahiAnnouncer::GroupChanged, this));
        if (!group_)
            return;
        avahi_entry_group_reset(group_.get());
        if (!wanted_)
            return;
        if (name_.empty() || !avahi_is_valid_service_name(name_.c_str())) {
            const char* host = avahi_client_get_host_name(client);
            name_ = host ? host : "Vocalyn";
        }
        // A name taken on this host is refused at once; one taken elsewhere shows up later as
        // a collision of the group.
        for (int attempt = 0; attempt < 16; ++attempt) {
            const int result = avahi_entry_group_add_service(
                group_.get(), AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0),
                name_.c_str(), kVocalynServiceType, nullptr, nullptr, port_, nullptr);
            if (result == AVAHI_OK) {
                avahi_entry_group_commit(group_.get());
                return;
            }
            if (result != AVAHI_ERR_COLLISION)
                return;
            AvahiStringPtr next(avahi_alternative_service_name(name_.c_str()));
            if (!next)
                return;
            name_ = next.get();
        }
    } catch (...) {
        // Out of memory: no announcement; the next state change tries again.
        LogSwallowed(lcDirectory(), "announcement");
    }
}

void AvahiAnnouncer::ClientChanged(AvahiClient* client, AvahiClientState state,
                                   void* context) noexcept {
    auto& self = *static_cast<AvahiAnnouncer*>(context);
    switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
        self.Register(client);
        break;
    case AVAHI_CLIENT_S_COLLISION:
    case AVAHI_CLIENT_S_REGISTERING:
        // The host is being renamed: announce again once it runs under its new name.
        self.established_.clear();
        if (self.group_)
            avahi_entry_group_reset(self.group_.get());
        break;
    case AVAHI_CLIENT_FAILURE:
        // The daemon went away: a new client waits for it to come back.
        if (avahi_client_errno(client) == AVAHI_ERR_DISCONNECTED) {
            self.established_.clear();
            self.Connect();
        }
        break;
    case AVAHI_CLIENT_CONNECTING:
        break;
    }
}

void AvahiAnnouncer::GroupChanged(AvahiEntryGroup* group, AvahiEntryGroupState state,
                                  void* context) noexcept {
    auto& self = *static_cast<AvahiAnnouncer*>(context);
    try {
        switch (state) {
        case AVAHI_ENTRY_GROUP_ESTABLISHED:
            self.established_ = self.name_;
            break;
        case AVAHI_ENTRY_GROUP_COLLISION: {
            // Another host announces the same name: take the next one, "Ann #2".
            AvahiStringPtr next(avahi_alternative_service_name(self.name_.c_str()));
            if (next)
                self.name_ = next.get();
            self.Register(avahi_entry_group_get_client(group));
            break;
        }
        case AVAHI_ENTRY_GROUP_FAILURE:
        case AVAHI_ENTRY_GROUP_UNCOMMITED:
        case AVAHI_ENTRY_GROUP_REGISTERING:
            break;
        }
    } catch (...) {
        // Out of memory: the announcement stays as it was.
        LogSwallowed(lcDirectory(), "announcement state change");
    }
}

std::unique_ptr<NeighbourhoodAnnouncer> MakeAvahiAnnouncer() {
    return std::make_unique<AvahiAnnouncer>();
}

} // namespace vocalyn::directory::avahi
