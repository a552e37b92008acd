#pragma once

#include <QString>

#include <optional>

namespace vocalyn::net {

// "a.b.c.d" for an IPv4 address in host byte order.
QString DottedText(quint32 address);

// The address of a dotted text: split at its first three dots into four
// fields (the fourth takes the rest), each field a decimal number from 0 to
// 255. Leading zeros are decimal, not octal. Anything else is no address.
std::optional<quint32> DottedAddress(const QString& text);

} // namespace vocalyn::net
