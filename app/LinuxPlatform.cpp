#include "app/Platform.h"

#include "base/DataDir.h"
#include "net/SystemResolver.h"

namespace vocalyn {

Platform MakeLinuxPlatform() {
    Platform platform;
    platform.resolver = std::make_unique<net::SystemResolver>();
    platform.sockets = std::make_unique<net::SocketLayer>(*platform.resolver);
    platform.dataDir = DefaultDataDir();
    return platform;
}

} // namespace vocalyn
