#pragma once

#include "call/CallSession.h"

#include <QObject>

#include <functional>
#include <memory>

namespace vocalyn::net {
class SocketLayer;
}

namespace vocalyn {

// Host lookups on threads of their own, so that a slow or lossy name server never freezes the
// window. Each answer comes back on the GUI thread through this object's event queue.
class BackgroundLookup : public QObject {
public:
    explicit BackgroundLookup(net::SocketLayer& sockets);
    // Waits for the lookups under way, which use the socket layer; their answers are dropped.
    ~BackgroundLookup() override;

    void Start(const QString& host, std::function<void(const call::LookupResult&)> done);

private:
    struct Shared;
    net::SocketLayer& sockets_;
    std::shared_ptr<Shared> shared_;
};

} // namespace vocalyn
