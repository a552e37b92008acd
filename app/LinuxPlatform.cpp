#include "app/Platform.h"

#include "app/DBusCallNotifier.h"
#include "app/DBusScreenSaverInhibitor.h"

#include "base/DataDir.h"
#include "call/gst/GstMediaDevice.h"
#include "directory/avahi/AvahiAnnouncer.h"
#include "directory/avahi/AvahiNeighbourhood.h"
#include "net/SystemInterfaces.h"
#include "net/SystemResolver.h"
#include "video/capture/v4l2/V4l2CaptureService.h"
#include "voice/gst/GstMediaTerm.h"

namespace vocalyn {

Platform MakeLinuxPlatform() {
    Platform platform;
    platform.resolver = std::make_unique<net::SystemResolver>();
    platform.sockets = std::make_unique<net::SocketLayer>(*platform.resolver);
    platform.interfaces = std::make_unique<net::SystemInterfaces>();
    platform.mediaDevice = std::make_unique<call::GstMediaDevice>();
    platform.captureService = std::make_unique<video::v4l2::V4l2CaptureService>();
    platform.neighbourhood = directory::avahi::MakeAvahiNeighbourhood();
    platform.announcer = directory::avahi::MakeAvahiAnnouncer();
    platform.terminalFactory = voice::GstMediaTermFactory();
    platform.callNotifier = std::make_unique<DBusCallNotifier>();
    platform.screenSaver = std::make_unique<DBusScreenSaverInhibitor>();
    platform.dataDir = DefaultDataDir();
    return platform;
}

} // namespace vocalyn
