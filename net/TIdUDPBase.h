#pragma once

#include <QByteArray>
#include <QString>

namespace vocalyn::net {

class SocketLayer;
class TIdSocketHandle;

// What listening and sending endpoints share: their settings and sending.
class TIdUDPBase {
public:
    explicit TIdUDPBase(SocketLayer& layer) : layer_(layer) {}
    virtual ~TIdUDPBase() = default;
    TIdUDPBase(const TIdUDPBase&) = delete;
    TIdUDPBase& operator=(const TIdUDPBase&) = delete;

    int BufferSize = 8192;         // the largest datagram a listener reads; no effect on sending
    bool BroadcastEnabled = false; // set on every socket of the endpoint when it is opened

    // Sends text's bytes as one datagram. The host is looked up at every send.
    void SendTextTo(const QString& host, int port, const QByteArray& text);
    void SendBytesTo(const QString& host, int port, const char* buffer, qsizetype count);

protected:
    // The socket a send goes out from, opened or activated as needed.
    virtual TIdSocketHandle& SendingBinding() = 0;

private:
    SocketLayer& layer_;
};

} // namespace vocalyn::net
