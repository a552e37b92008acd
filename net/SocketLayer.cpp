#include "net/SocketLayer.h"

#include "net/Errors.h"

namespace vocalyn::net {

namespace {

constexpr int kHostNameBufferSize = 250;

// ASCII only: a look-alike such as U+017F LONG S must not make a name local.
bool IsLocalhost(const QString& name) {
    for (QChar c : name) {
        if (c.unicode() > 0x7f)
            return false;
    }
    return name.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0;
}

} // namespace

SocketLayer::SocketLayer(Resolver& resolver) : resolver_(resolver) {}

QString SocketLayer::LookUpHostAddress(const QString& name) {
    if (IsLocalhost(name))
        return QStringLiteral("127.0.0.1");
    if (DottedAddress(name))
        return name;

    const ResolveResult result = resolver_.LookUpIPv4(name.toLocal8Bit());
    if (result.error != 0)
        throw EIdSocketError(result.error);
    if (result.addresses.isEmpty())
        throw EIdSocketError(kNoData);
    return DottedText(result.addresses.first());
}

QString SocketLayer::LocalHostName() {
    return QString::fromLocal8Bit(resolver_.HostName(kHostNameBufferSize));
}

} // namespace vocalyn::net
