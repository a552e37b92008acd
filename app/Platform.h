#pragma once

#include "app/CallNotifier.h"
#include "app/ScreenSaverInhibitor.h"
#include "call/MediaDevice.h"
#include "directory/NeighbourhoodAnnouncer.h"
#include "directory/NeighbourhoodSource.h"
#include "net/NetworkInterfaces.h"
#include "net/Ports.h"
#include "net/Resolver.h"
#include "net/SocketLayer.h"
#include "video/capture/CaptureService.h"
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
    // Where the local address comes from when the host name resolves to loopback only; none
    // in tests that do not need it.
    std::unique_ptr<net::NetworkInterfaces> interfaces;
    // The ring-tone player's sound service.
    std::unique_ptr<call::MediaDevice> mediaDevice;
    // The camera: capture windows connected to the machine's capture drivers.
    std::unique_ptr<video::CaptureService> captureService;
    // The computers of the network neighbourhood, for the network browser.
    std::unique_ptr<directory::NeighbourhoodSource> neighbourhood;
    // Announces this copy to the neighbourhood; none in tests that need no announcement.
    std::unique_ptr<directory::NeighbourhoodAnnouncer> announcer;
    // Makes the media terminal that carries the voice of a call, at the first call.
    voice::TCCNMediaTerm::Factory terminalFactory;
    // Announces a ringing call on the desktop; none where nothing should be announced.
    std::unique_ptr<CallNotifier> callNotifier;
    // Keeps the desktop awake while a call runs; none in tests that do not need it.
    std::unique_ptr<ScreenSaverInhibitor> screenSaver;
    // Where "Settings.ini" and "IPAddress.dat" live, with a trailing "/".
    QString dataDir;
    // The well-known ports; tests move them so that they never collide with
    // a copy of the program running on the same machine.
    int signallingPort = net::kSignallingPort;
    int videoPort = net::kVideoPort;
    // The local address every endpoint binds to; empty for all local
    // addresses, as in a real run. Tests give each of several windows in one
    // process its own loopback address (127.0.0.0/8), so that they can call
    // each other on the same port and see each other's true addresses.
    QString bindAddress;
};

// The services of a real run on Linux.
Platform MakeLinuxPlatform();

} // namespace vocalyn
