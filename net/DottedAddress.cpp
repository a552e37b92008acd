#include "net/DottedAddress.h"

#include <QStringView>

namespace vocalyn::net {

namespace {

std::optional<quint32> ByteField(QStringView field) {
    if (field.isEmpty())
        return std::nullopt;
    quint32 value = 0;
    for (QChar c : field) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
        if (value > 255)
            return std::nullopt;
    }
    return value;
}

} // namespace

QString DottedText(quint32 address) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xff)
        .arg((address >> 8) & 0xff)
        .arg(address & 0xff);
}

std::optional<quint32> DottedAddress(const QString& text) {
    quint32 address = 0;
    qsizetype start = 0;
    for (int field = 0; field < 4; ++field) {
        qsizetype end = field < 3 ? text.indexOf(u'.', start) : text.size();
        if (end < 0)
            return std::nullopt;
        const std::optional<quint32> value = ByteField(QStringView(text).mid(start, end - start));
        if (!value)
            return std::nullopt;
        address = (address << 8) | *value;
        start = end + 1;
    }
    return address;
}

} // namespace vocalyn::net
