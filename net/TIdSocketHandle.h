#pragma once

#include "net/UniqueFd.h"

#include <QString>

namespace vocalyn::net {

// One IPv4 datagram socket of an endpoint, with the local address it binds to
// and the sender of the datagram being handed over. Failures throw EIdException kinds.
class TIdSocketHandle {
public:
    TIdSocketHandle() = default;
    ~TIdSocketHandle();
    TIdSocketHandle(const TIdSocketHandle&) = delete;
    TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

    QString IP;       // local address, dotted; empty for all local addresses
    quint16 Port = 0; // local port; 0 lets the system choose and is then replaced by its choice
    QString SenderIP; // sender of the datagram being handed over; empty when none
    quint16 SenderPort = 0; // that sender's port; 0 when none

    bool HandleAllocated() const { return fd_.valid(); }
    int Handle() const { return fd_.get(); }

    // Opens a new socket, closing the one held before.
    void AllocateSocket();
    // Permits or forbids sending to broadcast addresses.
    void SetBroadcastFlag(bool enabled);
    // Binds to IP and Port, without address reuse.
    void Bind();
    // Sends one datagram to a dotted address.
    void SendTo(const QString& ip, int port, const char* buffer, qsizetype count);
    // Shuts the sending direction down, closes the socket and forgets the sender.
    void CloseSocket();

private:
    UniqueFd fd_;
};

} // namespace vocalyn::net
