#pragma once

#include "call/MediaDevice.h"
#include "net/Resolver.h"
#include "net/SocketLayer.h"
#include "voice/TCCNMediaTerm.h"

#include <QString>

#include <memory>

namespace vocalyn {

// The platform services the windows use, handed to them at start-up. The
// program builds it with the Linux backends; tests build it with substitutes
// and drive the real windows through their buttons.
struct Platform {
    std::unique_ptr<net::Resolver> resolver;
    std::unique_ptr<net::SocketLayer> sockets;
    // The ring-tone player's sound service.
    std::unique_ptr<call::MediaDevice> mediaDevice;
    // Makes the media terminal that carries the voice of a call, at the first call.
    voice::TCCNMediaTerm::Factory terminalFactory;
    // Where "Settings.ini" and "IPAddress.dat" live, with a trailing "/".
    QString dataDir;
    // The well-known ports; tests move them so that they never collide with
    // a copy of the program running on the same machine.
    int signallingPort = 6767;
    int videoPort = 8800;
    // The local address every endpoint binds to; empty for all local
    // addresses, as in a real run. Tests give each of several windows in one
    // process its own loopback address (127.0.0.0/8), so that they can call
    // each other on the same port and see each other's true addresses.
    QString bindAddress;
};

// The services of a real run on Linux.
Platform MakeLinuxPlatform();

} // namespace vocalyn
