#pragma once

#include <QString>

#include <optional>

// The four user settings and their file, "Settings.ini" in the data directory.
namespace vocalyn::call {

struct CallSettings {
    QString RingTone;    // path of the ring-tone file; empty: no ring tone
    qint32 RingTime = 0; // milliseconds
    QString Message;     // sent back when a call is not answered
    QString CallerID;    // sent with every call request
};

// dataDir ends in "/" (see DataDir.h).
QString SettingsPath(const QString& dataDir);

// Processes pending events, then fills `held` from the file in the order RingTone, RingTime,
// Message, CallerID, each with its default when missing (no ring tone, 10 seconds,
// "Unanswered", defaultCallerID). The file stores the ring time in seconds; it is held in
// milliseconds, multiplied in 32-bit arithmetic. A ring time that is not a whole 32-bit number
// is held as the default, and once every field is read throws
// vocalyn::Error("'<text>' is not a valid integer value").
void LoadSettings(const QString& dataDir, const QString& defaultCallerID, CallSettings& held);

// Writes RingTone, RingTime (seconds, decimal), Message and CallerID to the file, each at once,
// in that order. Throws vocalyn::Error("Unable to write to <path>") at the first key refused;
// the keys before it stay written.
void SaveSettings(const QString& dataDir, const QString& ringTone, int ringTimeSeconds,
                  const QString& message, const QString& callerID);

// A whole 32-bit number: leading blanks, an optional sign, then decimal digits or hexadecimal
// ones after "$", "0x" or "0X" (hexadecimal up to FFFFFFFF is a two's complement bit pattern).
// nullopt for anything else: empty text, other characters, values outside 32 bits.
std::optional<qint32> StrToInt(const QString& text);

} // namespace vocalyn::call
