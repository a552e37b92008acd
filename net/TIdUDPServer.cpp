#include "net/TIdUDPServer.h"

#include "net/Errors.h"
#include "net/TIdUDPListenerThread.h"

#include <cerrno>

namespace vocalyn::net {

TIdUDPServer::TIdUDPServer(SocketLayer& layer) : TIdUDPBase(layer) {}

TIdUDPServer::~TIdUDPServer() {
    setActive(false);
}

void TIdUDPServer::setActive(bool active) {
    if (changing_ || active == active_)
        return;
    changing_ = true;
    try {
        active ? Activate() : Deactivate();
    } catch (...) {
        changing_ = false;
        throw;
    }
    changing_ = false;
}

void TIdUDPServer::Activate() {
    std::vector<TIdSocketHandle*> bindings;
    if (Bindings.Count() == 0) {
        if (DefaultPort < 1)
            throw EIdNoBindingsSpecified();
        if (DefaultPort > 65535)
            throw EIdSocketError(WinsockErrorNumber(EINVAL));
        defaultBinding_.IP.clear();
        defaultBinding_.Port = static_cast<quint16>(DefaultPort);
        bindings.push_back(&defaultBinding_);
    } else {
        for (int i = 0; i < Bindings.Count(); ++i)
            bindings.push_back(&Bindings[i]);
    }

    try {
        for (TIdSocketHandle* binding : bindings) {
            binding->AllocateSocket();
            binding->Bind();
            binding->SetBroadcastFlag(BroadcastEnabled);
        }
        currentBinding_ = bindings.front();
        listener_ =
            std::make_unique<TIdUDPListenerThread>(*this, bindings, BufferSize, ThreadedEvent);
        listener_->Start();
    } catch (...) {
        listener_.reset();
        CloseBindings(bindings);
        throw;
    }
    openBindings_ = std::move(bindings);
    active_ = true;
}

void TIdUDPServer::Deactivate() {
    // The listener has to be gone before the sockets close: it may be reading them.
    listener_->Stop();
    listener_->WaitFor();
    listener_.reset();
    CloseBindings(openBindings_);
    openBindings_.clear();
    active_ = false;
}

void TIdUDPServer::CloseBindings(const std::vector<TIdSocketHandle*>& bindings) {
    for (TIdSocketHandle* binding : bindings)
        binding->CloseSocket();
    currentBinding_ = nullptr;
}

TIdSocketHandle& TIdUDPServer::SendingBinding() {
    setActive(true);
    return *currentBinding_.load();
}

void TIdUDPServer::DoUDPRead(const QByteArray& data, TIdSocketHandle& binding) {
    currentBinding_ = &binding;
    // A copy, so that the handler may replace OnUDPRead, or end this
    // endpoint, without destroying the function that is running.
    const TUDPReadEvent handler = OnUDPRead;
    if (handler)
        handler(*this, data, binding);
}

} // namespace vocalyn::net
