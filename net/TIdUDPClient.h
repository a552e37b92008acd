#pragma once

#include "net/TIdSocketHandle.h"
#include "net/TIdUDPBase.h"

namespace vocalyn::net {

// A sending endpoint. Its socket is opened at the first send and never bound
// explicitly, so the system gives it a free port that stays for its life.
class TIdUDPClient : public TIdUDPBase {
public:
    explicit TIdUDPClient(SocketLayer& layer);

    QString Host; // destination: host name or dotted address
    int Port = 0; // destination port

    // The bytes as given, no terminator, as one datagram to Host:Port.
    void SendText(const QByteArray& text);
    void SendBytes(const char* buffer, qsizetype count);

protected:
    TIdSocketHandle& SendingBinding() override;

private:
    TIdSocketHandle socket_;
};

} // namespace vocalyn::net
