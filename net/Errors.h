#pragma once

#include "base/Error.h"

namespace vocalyn::net {

// Common base of every failure the endpoints and the socket layer raise.
class EIdException : public vocalyn::Error {
public:
    using vocalyn::Error::Error;
};

// A failed socket call or host lookup. ErrorCode is a Windows Sockets number
// (10000 plus the BSD number of the condition, 11001..11004 for the resolver),
// so the texts users see are the same on every platform.
class EIdSocketError : public EIdException {
public:
    explicit EIdSocketError(int errorCode);

    int ErrorCode;
};

class EIdNoBindingsSpecified : public EIdException {
public:
    EIdNoBindingsSpecified();
};

class EIdInvalidSocket : public EIdException {
public:
    EIdInvalidSocket();
};

class EIdCouldNotBindSocket : public EIdException {
public:
    EIdCouldNotBindSocket();
};

class EIdPackageSizeTooBig : public EIdException {
public:
    EIdPackageSizeTooBig();
};

class EIdNotAllBytesSent : public EIdException {
public:
    EIdNotAllBytesSent();
};

class EIdStackSetSizeExceeded : public EIdException {
public:
    EIdStackSetSizeExceeded();
};

// The Windows Sockets number of a POSIX errno value. Conditions without a
// Windows Sockets counterpart keep their errno value, which can never be
// mistaken for one of the 10000-range numbers.
int WinsockErrorNumber(int posixErrno);

// The fixed text for a Windows Sockets number; empty for numbers outside the table.
QString WinsockErrorText(int errorCode);

} // namespace vocalyn::net
