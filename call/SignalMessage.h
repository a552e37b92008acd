#pragma once

#include <QByteArray>

// The signalling datagrams two copies exchange: plain text, one message per datagram, no
// terminator, no length prefix, nothing acknowledged.
namespace vocalyn::call {

enum class SignalKind {
    CallRequest = 1, // "Calling|" and the caller's identity
    Accept,          // the callee answered
    Cancel,          // the caller gave up
    Unanswered,      // anything else: the callee's message, shown to the caller
};

struct SignalMessage {
    SignalKind kind = SignalKind::Unanswered;
    // The caller ID of a call request, the whole payload of an unanswered message, empty for
    // Accept and Cancel.
    QByteArray text;
};

// Classifies a received payload. A bar anywhere makes a call request whose caller ID is
// everything after the first eight bytes, whatever they are; otherwise the payload is compared
// as a whole, case-sensitively, with "Calling", "Accept" and "Cancel".
SignalMessage ClassifySignal(const QByteArray& payload);

inline constexpr char kCallRequestPrefix[] = "Calling|";
inline constexpr char kAccept[] = "Accept";
inline constexpr char kCancel[] = "Cancel";

// "Calling|" followed by the caller ID.
QByteArray CallRequestPayload(const QByteArray& callerID);

} // namespace vocalyn::call
