#pragma once

#include "net/Resolver.h"
#include "net/SocketLayer.h"

#include <QString>

#include <memory>

namespace vocalyn {

// The platform services the windows use, handed to them at start-up. The
// program builds it with the Linux backends; tests build it with substitutes
// and drive the real windows through their buttons.
struct Platform {
    std::unique_ptr<net::Resolver> resolver;
    std::unique_ptr<net::SocketLayer> sockets;
    // Where "Settings.ini" and "IPAddress.dat" live, with a trailing "/".
    QString dataDir;
    // The well-known ports; tests move them so that they never collide with
    // a copy of the program running on the same machine.
    int signallingPort = 6767;
    int videoPort = 8800;
};

// The services of a real run on Linux.
Platform MakeLinuxPlatform();

} // namespace vocalyn
