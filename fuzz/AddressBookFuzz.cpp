// Parses arbitrary bytes as an address book file and checks that the list is sorted, that it
// holds exactly the file's lines and all their bytes, that no entry's text holds a line break or
// a NUL, that writing it and reading it back gives the same list, and that both address rules
// stay inside their entry.

#include "directory/AddressBookFile.h"
#include "fuzz/FuzzCheck.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace vocalyn::directory;

namespace {

// Inserting one line at a time is quadratic; beyond this the sorted parse alone is checked.
constexpr qsizetype kMaxInsertions = 2000;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArray> lines = SplitAddressLines(bytes);
    const AddressEntries entries = ParseAddressBook(bytes);

    CHECK(entries.size() == lines.size());
    for (qsizetype i = 1; i < entries.size(); ++i)
        CHECK(CompareEntries(entries[i - 1].text, entries[i].text) <= 0);
    qsizetype lineBytes = 0;
    for (const QByteArray& line : lines) {
        CHECK(!line.contains('\r') && !line.contains('\n'));
        lineBytes += line.size();
    }
    // Every byte but the line ends is kept, NULs included.
    CHECK(lineBytes == bytes.size() - bytes.count('\r') - bytes.count('\n'));
    for (const AddressEntry& entry : entries) {
        CHECK(entry == EntryFromLine(entry.bytes));
        CHECK(!entry.text.contains(QLatin1Char('\r')) && !entry.text.contains(QLatin1Char('\n')) &&
              !entry.text.contains(QChar(0)));
        if (const auto chosen = ChosenAddress(entry.text))
            CHECK(entry.text.contains(*chosen));
        if (const auto listed = ListedAddress(entry.text))
            CHECK(entry.text.contains(QLatin1Char('<') + *listed + QLatin1Char('>')));
    }

    // The list is the file's lines, each inserted at its sorted place.
    if (lines.size() <= kMaxInsertions) {
        QStringList inserted;
        QList<QByteArray> insertedBytes;
        for (const QByteArray& line : lines) {
            const AddressEntry entry = EntryFromLine(line);
            const qsizetype row = SortedPosition(inserted, entry.text);
            inserted.insert(row, entry.text);
            insertedBytes.insert(row, line);
        }
        CHECK(inserted == EntryTexts(entries));
        for (qsizetype i = 0; i < entries.size(); ++i)
            CHECK(insertedBytes[i] == entries[i].bytes);
    }

    // Writing keeps every entry's bytes, so reading the file back gives the same list.
    const QByteArray written = SerialiseAddressBook(entries);
    CHECK(ParseAddressBook(written) == entries);
    CHECK(SerialiseAddressBook(ParseAddressBook(written)) == written);
    return 0;
}
