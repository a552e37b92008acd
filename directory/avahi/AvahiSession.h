#pragma once

#include "directory/avahi/AvahiHandles.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace vocalyn::directory::avahi {

using Clock = std::chrono::steady_clock;

// A connection to the Avahi daemon whose callbacks run on the thread that waits in WaitUntil,
// and nowhere else, so the objects they fill need no lock.
class AvahiSession {
public:
    // Connects at once; nullptr when no daemon can be reached, with the reason in `error`.
    static std::unique_ptr<AvahiSession> Connect(std::string& error);
    ~AvahiSession();

    AvahiClient* client() const { return client_.get(); }
    // False once the daemon has gone away; nothing more will arrive then.
    bool usable() const { return !failed_; }

    // Lets the daemon's answers arrive until `done` holds, the deadline passes or the
    // connection fails; `whileWaiting` runs between rounds of at most 25 ms. Returns `done()`.
    bool WaitUntil(const std::function<bool()>& done, Clock::time_point deadline,
                   const std::function<void()>& whileWaiting);

private:
    AvahiSession() = default;
    static void ClientChanged(AvahiClient* client, AvahiClientState state, void* session) noexcept;

    // Declared first: freed last, after the client that watches through it.
    SimplePollPtr poll_;
    ClientPtr client_;
    bool failed_ = false;
};

} // namespace vocalyn::directory::avahi
