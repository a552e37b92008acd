// Parses arbitrary bytes as an address book file and checks that the list is sorted, that it
// holds exactly the file's lines, that no entry holds a line break or a NUL, that writing it and
// reading it back gives the same list, and that both address rules stay inside their entry.

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
    const QStringList lines = SplitAddressLines(bytes);
    const QStringList entries = ParseAddressBook(bytes);

    CHECK(entries.size() == lines.size());
    for (qsizetype i = 1; i < entries.size(); ++i)
        CHECK(CompareEntries(entries[i - 1], entries[i]) <= 0);
    for (const QString& entry : entries) {
        CHECK(!entry.contains(QLatin1Char('\r')) && !entry.contains(QLatin1Char('\n')) &&
              !entry.contains(QChar(0)));
        if (const auto chosen = ChosenAddress(entry))
            CHECK(entry.contains(*chosen));
        if (const auto listed = ListedAddress(entry))
            CHECK(entry.contains(QLatin1Char('<') + *listed + QLatin1Char('>')));
    }

    // The list is the file's lines, each inserted at its sorted place.
    if (lines.size() <= kMaxInsertions) {
        QStringList inserted;
        for (const QString& line : lines)
            InsertSorted(inserted, line);
        CHECK(inserted == entries);
    }

    const QByteArray written = SerialiseAddressBook(entries);
    CHECK(ParseAddressBook(written) == entries);
    CHECK(SerialiseAddressBook(ParseAddressBook(written)) == written);
    return 0;
}
