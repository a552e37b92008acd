#include "directory/avahi/AvahiSession.h"

#include <avahi-common/error.h>

#include <algorithm>

namespace vocalyn::directory::avahi {

namespace {

constexpr auto kRound = std::chrono::milliseconds(25);

} // namespace

std::unique_ptr<AvahiSession> AvahiSession::Connect(std::string& error) {
    std::unique_ptr<AvahiSession> session(new AvahiSession);
    session->poll_.reset(avahi_simple_poll_new());
    if (!session->poll_) {
        error = "out of memory";
        return nullptr;
    }
    int code = 0;
    // Without AVAHI_CLIENT_NO_FAIL: when no daemon runs, fail now rather than wait for one.
    session->client_.reset(avahi_client_new(avahi_simple_poll_get(session->poll_.get()),
                                            AvahiClientFlags(0), &AvahiSession::ClientChanged,
                                            session.get(), &code));
    if (!session->client_) {
        error = avahi_strerror(code);
        return nullptr;
    }
    return session;
}

AvahiSession::~AvahiSession() = default;

void AvahiSession::ClientChanged(AvahiClient*, AvahiClientState state, void* session) noexcept {
    if (state == AVAHI_CLIENT_FAILURE)
        static_cast<AvahiSession*>(session)->failed_ = true;
}

bool AvahiSession::WaitUntil(const std::function<bool()>& done, Clock::time_point deadline,
                             const std::function<void()>& whileWaiting) {
    while (!done() && !failed_) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        const auto round = std::min<std::chrono::milliseconds>(left, kRound);
        if (avahi_simple_poll_iterate(poll_.get(), static_cast<int>(round.count())) != 0) {
            failed_ = true;
            break;
        }
        if (whileWaiting)
            whileWaiting();
    }
    return done();
}

} // namespace vocalyn::directory::avahi
