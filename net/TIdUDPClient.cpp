#include "net/TIdUDPClient.h"

namespace vocalyn::net {

TIdUDPClient::TIdUDPClient(SocketLayer& layer) : TIdUDPBase(layer) {}

void TIdUDPClient::SendText(const QByteArray& text) {
    SendTextTo(Host, Port, text);
}

void TIdUDPClient::SendBytes(const char* buffer, qsizetype count) {
    SendBytesTo(Host, Port, buffer, count);
}

TIdSocketHandle& TIdUDPClient::SendingBinding() {
    if (!socket_.HandleAllocated()) {
        socket_.AllocateSocket();
        try {
            socket_.SetBroadcastFlag(BroadcastEnabled);
        } catch (...) {
            socket_.CloseSocket(); // the next send tries again from scratch
            throw;
        }
    }
    return socket_;
}

} // namespace vocalyn::net
