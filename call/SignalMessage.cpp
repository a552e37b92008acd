#include "call/SignalMessage.h"

namespace vocalyn::call {

namespace {

constexpr qsizetype kPrefixLength = sizeof kCallRequestPrefix - 1;

} // namespace

SignalMessage ClassifySignal(const QByteArray& payload) {
    // Only the bar counts, not where it stands nor what precedes it: a refusal text with a
    // bar in it rings the receiver instead of being shown.
    if (payload.contains('|'))
        return {SignalKind::CallRequest, payload.mid(kPrefixLength)};
    if (payload == "Calling")
        return {SignalKind::CallRequest, {}};
    if (payload == kAccept)
        return {SignalKind::Accept, {}};
    if (payload == kCancel)
        return {SignalKind::Cancel, {}};
    return {SignalKind::Unanswered, payload};
}

QByteArray CallRequestPayload(const QByteArray& callerID) {
    return QByteArray(kCallRequestPrefix) + callerID;
}

} // namespace vocalyn::call
