#pragma once

#include "net/Errors.h"
#include "net/TIdUDPServer.h"

#include <QDeadlineTimer>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>

namespace vocalyn::net::testing {

// Runs the event loop until condition holds or timeout_ms has passed.
inline bool WaitUntil(const std::function<bool()>& condition, int timeout_ms = 5000) {
    QDeadlineTimer deadline(timeout_ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

// A UDP port that was free a moment ago.
inline int ProbeFreePort() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// Activates the server on all addresses at a free port, trying again if
// another process takes the probed port first. Returns the port.
inline int ActivateOnFreePort(TIdUDPServer& server) {
    for (int attempt = 0;; ++attempt) {
        server.DefaultPort = ProbeFreePort();
        try {
            server.setActive(true);
            return server.DefaultPort;
        } catch (const EIdCouldNotBindSocket&) {
            if (attempt == 4)
                throw;
        }
    }
}

} // namespace vocalyn::net::testing
