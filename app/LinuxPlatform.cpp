#include "app/Platform.h"

#include "base/DataDir.h"
#include "call/gst/GstMediaDevice.h"
#include "net/SystemResolver.h"
#include "voice/gst/GstMediaTerm.h"

namespace vocalyn {

Platform MakeLinuxPlatform() {
    Platform platform;
    platform.resolver = std::make_unique<net::SystemResolver>();
    platform.sockets = std::make_unique<net::SocketLayer>(*platform.resolver);
    platform.mediaDevice = std::make_unique<call::GstMediaDevice>();
    platform.terminalFactory = voice::GstMediaTermFactory();
    platform.dataDir = DefaultDataDir();
    return platform;
}

} // namespace vocalyn
