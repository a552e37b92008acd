#include "net/Errors.h"

#include <cerrno>

namespace vocalyn::net {

namespace {

struct Condition {
    int posixErrno;
    int winsockNumber;
    const char* text;
};

// Windows Sockets numbers are 10000 plus the BSD number of the condition,
// which differs from the Linux errno value for most of them (EWOULDBLOCK is
// 35 on BSD but 11 on Linux), so the table goes by name.
constexpr Condition kConditions[] = {
    {EINTR, 10004, "Interrupted system call."},
    {EBADF, 10009, "Bad file number."},
    {EACCES, 10013, "Access denied."},
    {EFAULT, 10014, "Bad address."},
    {EINVAL, 10022, "Invalid argument."},
    {EMFILE, 10024, "Too many open files."},
    {EWOULDBLOCK, 10035, "Operation would block. "},
    {EINPROGRESS, 10036, "Operation now in progress."},
    {EALREADY, 10037, "Operation already in progress."},
    {ENOTSOCK, 10038, "Socket operation on non-socket."},
    {EDESTADDRREQ, 10039, "Destination address required."},
    {EMSGSIZE, 10040, "Message too long."},
    {EPROTOTYPE, 10041, "Protocol wrong type for socket."},
    {ENOPROTOOPT, 10042, "Bad protocol option."},
    {EPROTONOSUPPORT, 10043, "Protocol not supported."},
    {ESOCKTNOSUPPORT, 10044, "Socket type not supported."},
    {EOPNOTSUPP, 10045, "Operation not supported on socket."},
    {EPFNOSUPPORT, 10046, "Protocol family not supported."},
    {EAFNOSUPPORT, 10047, "Address family not supported by protocol family."},
    {EADDRINUSE, 10048, "Address already in use."},
    {EADDRNOTAVAIL, 10049, "Cannot assign requested address."},
    {ENETDOWN, 10050, "Network is down."},
    {ENETUNREACH, 10051, "Network is unreachable."},
    {ENETRESET, 10052, "Net dropped connection or reset."},
    {ECONNABORTED, 10053, "Software caused connection abort."},
    {ECONNRESET, 10054, "Connection reset by peer."},
    {ENOBUFS, 10055, "No buffer space available."},
    {EISCONN, 10056, "Socket is already connected."},
    {ENOTCONN, 10057, "Socket is not connected."},
    {ESHUTDOWN, 10058, "Cannot send or receive after socket is closed."},
    {ETOOMANYREFS, 10059, "Too many references, cannot splice."},
    {ETIMEDOUT, 10060, "Connection timed out."},
    {ECONNREFUSED, 10061, "Connection refused."},
    {ELOOP, 10062, "Too many levels of symbolic links."},
    {ENAMETOOLONG, 10063, "File name too long."},
    {EHOSTDOWN, 10064, "Host is down."},
    {EHOSTUNREACH, 10065, "No route to host."},
    {ENOTEMPTY, 10066, "Directory not empty"},
};

} // namespace

EIdSocketError::EIdSocketError(int errorCode)
    : EIdException(QStringLiteral("Socket Error # %1\r\n%2")
                       .arg(errorCode)
                       .arg(WinsockErrorText(errorCode))),
      ErrorCode(errorCode) {}

EIdNoBindingsSpecified::EIdNoBindingsSpecified()
    : EIdException(QStringLiteral("No bindings specified.")) {}

EIdInvalidSocket::EIdInvalidSocket() : EIdException(QStringLiteral("Cannot allocate socket.")) {}

EIdCouldNotBindSocket::EIdCouldNotBindSocket()
    : EIdException(QStringLiteral("Could not bind socket. Address and port are already in use.")) {}

EIdPackageSizeTooBig::EIdPackageSizeTooBig()
    : EIdException(QStringLiteral("Package Size Too Big.")) {}

EIdNotAllBytesSent::EIdNotAllBytesSent() : EIdException(QStringLiteral("Not all bytes sent.")) {}

EIdStackSetSizeExceeded::EIdStackSetSizeExceeded()
    : EIdException(QStringLiteral("Set Size Exceeded.")) {}

int WinsockErrorNumber(int posixErrno) {
    for (const Condition& condition : kConditions) {
        if (condition.posixErrno == posixErrno)
            return condition.winsockNumber;
    }
    return posixErrno;
}

QString WinsockErrorText(int errorCode) {
    for (const Condition& condition : kConditions) {
        if (condition.winsockNumber == errorCode)
            return QString::fromLatin1(condition.text);
    }
    return {};
}

} // namespace vocalyn::net
