#include "directory/AddressBookFile.h"

#include "base/WireText.h"

#include <algorithm>

namespace vocalyn::directory {

namespace {

bool EntryLess(const QString& a, const QString& b) {
    return CompareEntries(a, b) < 0;
}

} // namespace

QString AddressBookPath(const QString& dataDir) {
    return dataDir + QLatin1String(kAddressBookFileName);
}

QList<QByteArray> SplitAddressLines(QByteArrayView bytes) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        const char c = bytes[pos];
        if (c != '\r' && c != '\n') {
            ++pos;
            continue;
        }
        lines.append(bytes.sliced(start, pos - start).toByteArray());
        if (c == '\r' && pos + 1 < bytes.size() && bytes[pos + 1] == '\n')
            ++pos;
        start = ++pos;
    }
    if (start < bytes.size())
        lines.append(bytes.sliced(start).toByteArray());
    return lines;
}

QString DecodeAddressLine(QByteArrayView line) {
    QString text = DecodeWireText(line);
    // A NUL would end the text wherever it is handed on as a C string.
    text.replace(QChar(0), QChar(QChar::ReplacementCharacter));
    return text;
}

AddressEntry EntryFromLine(QByteArrayView line) {
    return {DecodeAddressLine(line), line.toByteArray()};
}

AddressEntry EntryFromText(const QString& text) {
    return {text, text.toUtf8()};
}

QStringList EntryTexts(const AddressEntries& entries) {
    QStringList texts;
    texts.reserve(entries.size());
    for (const AddressEntry& entry : entries)
        texts.append(entry.text);
    return texts;
}

AddressEntries ParseAddressBook(QByteArrayView bytes) {
    AddressEntries entries;
    for (const QByteArray& line : SplitAddressLines(bytes))
        entries.append(EntryFromLine(line));
    // The same order as inserting the lines one by one, without its quadratic cost.
    std::stable_sort(
        entries.begin(), entries.end(),
        [](const AddressEntry& a, const AddressEntry& b) { return EntryLess(a.text, b.text); });
    return entries;
}

QByteArray SerialiseAddressBook(const AddressEntries& entries) {
    QByteArray bytes;
    for (const AddressEntry& entry : entries) {
        bytes += entry.bytes;
        bytes += "\r\n";
    }
    return bytes;
}

int CompareEntries(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive);
}

qsizetype SortedPosition(const QStringList& entries, const QString& entry) {
    return std::upper_bound(entries.begin(), entries.end(), entry, EntryLess) - entries.begin();
}

QString FormEntry(const QString& name, const QString& address) {
    QString entry = name + QStringLiteral(" <") + address + QLatin1Char('>');
    for (QChar& c : entry) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            c = QLatin1Char(' ');
    }
    return entry;
}

std::optional<QString> ChosenAddress(const QString& entry) {
    const qsizetype open = entry.indexOf(QLatin1Char('<'));
    if (open < 0)
        return entry;
    const qsizetype length = entry.size() - 1 - (open + 1);
    if (length < 0)
        return std::nullopt;
    return entry.sliced(open + 1, length);
}

std::optional<QString> ListedAddress(const QString& entry) {
    const qsizetype open = entry.indexOf(QLatin1Char('<'));
    const qsizetype close = entry.indexOf(QLatin1Char('>'));
    if (open < 0 || close < open)
        return std::nullopt;
    return entry.sliced(open + 1, close - open - 1);
}

bool HostInAddressList(const QStringList& entries, const QString& host) {
    return std::any_of(entries.begin(), entries.end(),
                       [&](const QString& entry) { return ListedAddress(entry) == host; });
}

} // namespace vocalyn::directory
