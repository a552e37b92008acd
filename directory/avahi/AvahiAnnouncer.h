#pragma once

#include "directory/NeighbourhoodAnnouncer.h"
#include "directory/avahi/AvahiHandles.h"

#include <memory>
#include <string>

namespace vocalyn::directory::avahi {

// Announces this copy as a DNS-SD service through the Avahi daemon. The daemon is talked to on
// a thread of Avahi's own; the announcement waits for a daemon that is not running yet, comes
// back after the daemon restarts, and takes another name ("Ann #2") when its name is taken.
class AvahiAnnouncer : public NeighbourhoodAnnouncer {
public:
    AvahiAnnouncer();
    ~AvahiAnnouncer() override;
    AvahiAnnouncer(const AvahiAnnouncer&) = delete;
    AvahiAnnouncer& operator=(const AvahiAnnouncer&) = delete;

    void Announce(const QString& instanceName, std::uint16_t port) override;
    void Withdraw() override;

    // The name the daemon confirmed for the announcement; empty while none is established.
    QString EstablishedName() const;

private:
    static void ClientChanged(AvahiClient* client, AvahiClientState state,
                              void* announcer) noexcept;
    static void GroupChanged(AvahiEntryGroup* group, AvahiEntryGroupState state,
                             void* announcer) noexcept;
    // Both run on Avahi's thread, or with its lock held.
    void Connect() noexcept;
    void Register(AvahiClient* client) noexcept;

    // Declared first: freed last.
    ThreadedPollPtr poll_;
    ClientPtr client_;
    EntryGroupPtr group_;
    // What is wanted, and what the daemon confirmed; guarded by the poll's lock.
    bool wanted_ = false;
    std::string name_;
    std::uint16_t port_ = 0;
    std::string established_;
};

// The program's announcer; nullptr only when not even Avahi's thread can be started.
std::unique_ptr<NeighbourhoodAnnouncer> MakeAvahiAnnouncer();

} // namespace vocalyn::directory::avahi
