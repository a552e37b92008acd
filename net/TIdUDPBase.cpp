#include "net/TIdUDPBase.h"

#include "net/SocketLayer.h"
#include "net/TIdSocketHandle.h"

namespace vocalyn::net {

void TIdUDPBase::SendTextTo(const QString& host, int port, const QByteArray& text) {
    SendBytesTo(host, port, text.constData(), text.size());
}

void TIdUDPBase::SendBytesTo(const QString& host, int port, const char* buffer, qsizetype count) {
    const QString address = layer_.LookUpHostAddress(host);
    SendingBinding().SendTo(address, port, buffer, count);
}

} // namespace vocalyn::net
