#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>

// The address book as text: entries of one line each, "name <address>", kept in ascending order
// ignoring letter case, and the bytes of "IPAddress.dat" that hold them. Pure functions, so that
// they can be tested and fuzzed without files or windows.
//
// The file declares no encoding and may have been written on another system. A line read from it
// is shown as UTF-8 when it is valid UTF-8 and as Windows-1252 otherwise, and keeps its bytes, so
// that rewriting the file never changes a line the user did not touch. New entries are UTF-8.
namespace vocalyn::directory {

inline constexpr char kAddressBookFileName[] = "IPAddress.dat";

// One entry: the text shown, sorted and searched, and the bytes stored in the file for it.
struct AddressEntry {
    QString text;
    QByteArray bytes; // without a line end; may hold a NUL, never CR or LF

    friend bool operator==(const AddressEntry&, const AddressEntry&) = default;
};
using AddressEntries = QList<AddressEntry>;

// The file's path in the data directory, which ends in "/".
QString AddressBookPath(const QString& dataDir);

// The file's lines in file order. A line ends at CR, at LF or at CR LF. Empty lines count, so
// does a last line without a line end; a line end at the very end adds no empty line. A NUL is
// an ordinary byte of its line: nothing after it is lost.
QList<QByteArray> SplitAddressLines(QByteArrayView bytes);

// The text shown for a line of the file: UTF-8 when the line is valid UTF-8, else Windows-1252.
// A NUL shows as U+FFFD.
QString DecodeAddressLine(QByteArrayView line);

// An entry read from the file, and one made by the program (stored as UTF-8).
AddressEntry EntryFromLine(QByteArrayView line);
AddressEntry EntryFromText(const QString& text);

// The texts of the entries, in their order.
QStringList EntryTexts(const AddressEntries& entries);

// The entries the file holds, in list order: its lines, each put at its sorted place.
AddressEntries ParseAddressBook(QByteArrayView bytes);

// The file's bytes: every entry's bytes followed by CR LF, the last one too. Entries must not
// hold CR or LF (FormEntry sees to that), or they would read back as other entries.
QByteArray SerialiseAddressBook(const AddressEntries& entries);

// The list's order: negative, zero or positive as `a` sorts before, with or after `b`. Letter
// case is ignored; otherwise characters compare by their code.
int CompareEntries(const QString& a, const QString& b);

// Where `entry` goes: after every entry that sorts before it or compares equal to it, so equal
// entries stay in the order they arrived.
qsizetype SortedPosition(const QStringList& entries, const QString& entry);

// name + " <" + address + ">". Line breaks and NULs become blanks: the file has no escaping, and
// a line break would split the entry on the next start.
QString FormEntry(const QString& name, const QString& address);

// The address that choosing an entry hands to the host field: the text after the first "<" up to
// but not including the entry's last character; the whole entry when it has no "<". nullopt when
// the "<" is the entry's last character, so nothing can lie between them.
std::optional<QString> ChosenAddress(const QString& entry);

// The address that the duplicate test compares: the text between the first "<" and the first
// ">". nullopt when the entry has no "<", or its first ">" does not come after its first "<".
std::optional<QString> ListedAddress(const QString& entry);

// True when some entry's ListedAddress equals `host` exactly, letter case included.
bool HostInAddressList(const QStringList& entries, const QString& host);

} // namespace vocalyn::directory
