#include "net/TIdSocketHandle.h"

#include "net/DottedAddress.h"
#include "net/Errors.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>

namespace vocalyn::net {

namespace {

[[noreturn]] void ThrowSocketError(int posixErrno) {
    throw EIdSocketError(WinsockErrorNumber(posixErrno));
}

// Text or port that no IPv4 socket call could take.
[[noreturn]] void ThrowInvalidArgument() {
    ThrowSocketError(EINVAL);
}

sockaddr_in SocketAddress(const QString& ip, int port) {
    if (port < 0 || port > 65535)
        ThrowInvalidArgument();
    quint32 address = INADDR_ANY;
    if (!ip.isEmpty()) {
        const std::optional<quint32> dotted = DottedAddress(ip);
        if (!dotted)
            ThrowInvalidArgument();
        address = *dotted;
    }
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(static_cast<quint16>(port));
    result.sin_addr.s_addr = htonl(address);
    return result;
}

} // namespace

TIdSocketHandle::~TIdSocketHandle() {
    CloseSocket();
}

void TIdSocketHandle::AllocateSocket() {
    CloseSocket();
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.valid())
        throw EIdInvalidSocket();
    fd_ = std::move(fd);
}

void TIdSocketHandle::SetBroadcastFlag(bool enabled) {
    const std::int32_t value = enabled ? -1 : 0; // all bits set means on
    if (::setsockopt(fd_.get(), SOL_SOCKET, SO_BROADCAST, &value, sizeof value) != 0)
        ThrowSocketError(errno);
}

void TIdSocketHandle::Bind() {
    sockaddr_in address = SocketAddress(IP, Port);
    if (::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno == EADDRINUSE)
            throw EIdCouldNotBindSocket();
        ThrowSocketError(errno);
    }
    if (Port == 0) {
        socklen_t length = sizeof address;
        if (::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&address), &length) == 0)
            Port = ntohs(address.sin_port);
    }
}

void TIdSocketHandle::SendTo(const QString& ip, int port, const char* buffer, qsizetype count) {
    if (count < 0)
        ThrowInvalidArgument();
    const sockaddr_in address = SocketAddress(ip, port);
    const ssize_t sent = ::sendto(fd_.get(), buffer, static_cast<size_t>(count), 0,
                                  reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (sent < 0) {
        if (errno == EMSGSIZE)
            throw EIdPackageSizeTooBig();
        ThrowSocketError(errno);
    }
    if (sent < count)
        throw EIdNotAllBytesSent();
}

void TIdSocketHandle::CloseSocket() {
    if (fd_.valid()) {
        (void)::shutdown(fd_.get(), SHUT_WR);
        fd_.reset();
    }
    SenderIP.clear();
    SenderPort = 0;
}

} // namespace vocalyn::net
