#include "call/SettingsFile.h"

#include "base/Error.h"
#include "call/ProfileFile.h"

#include <QCoreApplication>

namespace vocalyn::call {

namespace {

const QString kSection = QStringLiteral("Settings");
const QString kRingToneKey = QStringLiteral("RingTone");
const QString kRingTimeKey = QStringLiteral("RingTime");
const QString kMessageKey = QStringLiteral("Message");
const QString kCallerIDKey = QStringLiteral("CallerID");

const QString kDefaultRingTime = QStringLiteral("10");
const QString kDefaultMessage = QStringLiteral("Unanswered");

int HexDigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Wraps like 32-bit hardware would: a hand-written ring time beyond 2147483 seconds has no
// meaning, but must not be undefined behaviour.
qint32 SecondsToMilliseconds(qint32 seconds) {
    return static_cast<qint32>(static_cast<quint32>(static_cast<qint64>(seconds) * 1000));
}

} // namespace

QString SettingsPath(const QString& dataDir) {
    return dataDir + QStringLiteral("Settings.ini");
}

void LoadSettings(const QString& dataDir, const QString& defaultCallerID, CallSettings& held) {
    QCoreApplication::processEvents();
    // A missing file gives every default, because each read then falls back to its default.
    const QString path = SettingsPath(dataDir);
    held.RingTone = ReadProfileString(path, kSection, kRingToneKey, QString());
    const QString ringTime = ReadProfileString(path, kSection, kRingTimeKey, kDefaultRingTime);
    const std::optional<qint32> seconds = StrToInt(ringTime);
    // A mistyped ring time must not cost the rest: the default stands in, and the error is told
    // once everything else is read.
    held.RingTime = SecondsToMilliseconds(seconds ? *seconds : *StrToInt(kDefaultRingTime));
    held.Message = ReadProfileString(path, kSection, kMessageKey, kDefaultMessage);
    held.CallerID = ReadProfileString(path, kSection, kCallerIDKey, defaultCallerID);
    if (!seconds)
        throw Error(QStringLiteral("'%1' is not a valid integer value").arg(ringTime));
}

void SaveSettings(const QString& dataDir, const QString& ringTone, int ringTimeSeconds,
                  const QString& message, const QString& callerID) {
    const QString path = SettingsPath(dataDir);
    WriteProfileString(path, kSection, kRingToneKey, ringTone);
    WriteProfileString(path, kSection, kRingTimeKey, QString::number(ringTimeSeconds));
    WriteProfileString(path, kSection, kMessageKey, message);
    WriteProfileString(path, kSection, kCallerIDKey, callerID);
}

std::optional<qint32> StrToInt(const QString& text) {
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size && (text[i] == u' ' || text[i] == u'\t'))
        ++i;

    bool negative = false;
    if (i < size && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }

    int base = 10;
    if (i < size && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < size && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }

    // Hexadecimal spans all 32 bits; decimal stops at the signed range.
    const quint64 limit = base == 16 ? 0xFFFFFFFFu : negative ? 0x80000000u : 0x7FFFFFFFu;
    const qsizetype firstDigit = i;
    quint64 magnitude = 0;
    for (; i < size; ++i) {
        const int digit = HexDigitValue(text[i].unicode());
        if (digit < 0 || digit >= base)
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return std::nullopt;
    }
    if (i == firstDigit)
        return std::nullopt;

    const quint32 bits = static_cast<quint32>(magnitude);
    return static_cast<qint32>(negative ? 0u - bits : bits);
}

} // namespace vocalyn::call
