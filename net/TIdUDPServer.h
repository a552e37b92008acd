#pragma once

#include "net/TIdSocketHandles.h"
#include "net/TIdUDPBase.h"

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace vocalyn::net {

class TIdUDPServer;
class TIdUDPListenerThread;

// A datagram handler. AData holds exactly the datagram's bytes; ABinding is the
// binding that received it, with SenderIP and SenderPort set. Both belong to
// the endpoint: a handler copies what it keeps.
using TUDPReadEvent =
    std::function<void(TIdUDPServer& Sender, const QByteArray& AData, TIdSocketHandle& ABinding)>;

// A listening endpoint. While active, a listener thread reads its sockets and
// hands each datagram to OnUDPRead on the main thread, waiting until the
// handler has returned, so one endpoint's handlers never overlap. An empty
// datagram, one longer than BufferSize, and an error thrown by the handler
// are dropped; the listener goes on with the next datagram.
class TIdUDPServer : public TIdUDPBase {
public:
    explicit TIdUDPServer(SocketLayer& layer);
    ~TIdUDPServer() override; // deactivates

    // When empty, activation listens on all local addresses at DefaultPort.
    TIdSocketHandles Bindings;
    int DefaultPort = 0;
    bool ThreadedEvent = false; // run OnUDPRead on the listener thread instead
    TUDPReadEvent OnUDPRead;

    // Activation binds every socket and starts the listener; it throws on
    // failure and leaves the endpoint inactive. Deactivation stops the
    // listener and closes the sockets; queued hand-overs still run while it
    // waits. Both do nothing when called while a deactivation is under way.
    void setActive(bool active);
    bool Active() const { return active_; }

    // The binding of the datagram last handed over (the first binding right
    // after activation); null when inactive.
    TIdSocketHandle* Binding() const { return currentBinding_.load(); }

    // The running or ended listener; null when inactive.
    const TIdUDPListenerThread* Listener() const { return listener_.get(); }

protected:
    // A listener sends from its current binding, activating itself first.
    TIdSocketHandle& SendingBinding() override;

private:
    friend class TIdUDPListenerThread;

    void Activate();
    void Deactivate();
    void CloseBindings(const std::vector<TIdSocketHandle*>& bindings);
    // Runs the handler for one datagram, on whichever thread hands it over.
    void DoUDPRead(const QByteArray& data, TIdSocketHandle& binding);

    TIdSocketHandle defaultBinding_; // used when Bindings is empty
    std::vector<TIdSocketHandle*> openBindings_;
    std::atomic<TIdSocketHandle*> currentBinding_{nullptr};
    std::unique_ptr<TIdUDPListenerThread> listener_;
    bool active_ = false;
    bool changing_ = false;
};

} // namespace vocalyn::net
