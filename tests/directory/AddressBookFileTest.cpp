#include "directory/AddressBookFile.h"

#include <gtest/gtest.h>

namespace vocalyn::directory {
namespace {

using Lines = QStringList;
using Bytes = QList<QByteArray>;

// The texts of the entries a file holds, in list order.
Lines Texts(QByteArrayView file) {
    return EntryTexts(ParseAddressBook(file));
}

TEST(AddressBookFileTest, LineEndsEmptyLinesAndTheEndOfTheFile) {
    const QByteArray sixBytes("\x61\x0D\x0A\x0D\x0A\x62", 6);
    EXPECT_EQ(SplitAddressLines(sixBytes), (Bytes{"a", "", "b"}));
    EXPECT_EQ(Texts(sixBytes), (Lines{"", "a", "b"}));
    EXPECT_EQ(SerialiseAddressBook(ParseAddressBook(sixBytes)),
              QByteArray("\x0D\x0A\x61\x0D\x0A\x62\x0D\x0A", 8));

    EXPECT_EQ(SplitAddressLines("a\rb\r"), (Bytes{"a", "b"}));
    EXPECT_EQ(SplitAddressLines("a\n\rb"), (Bytes{"a", "", "b"}));
    EXPECT_EQ(SplitAddressLines("a\r\r\nb\n\n"), (Bytes{"a", "", "b", ""}));
    EXPECT_EQ(SplitAddressLines("\r\n"), (Bytes{""}));
    EXPECT_EQ(SplitAddressLines(""), Bytes{});
    EXPECT_EQ(SerialiseAddressBook({}), QByteArray());
}

TEST(AddressBookFileTest, NulIsAByteOfItsLineAndNothingAfterItIsLost) {
    const QByteArray file("b\r\na\0c\r\nd", 9);
    const AddressEntries entries = ParseAddressBook(file);
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0].text, QStringLiteral("a\uFFFDc"));
    EXPECT_EQ(entries[0].bytes, QByteArray("a\0c", 3));
    EXPECT_EQ(EntryTexts(entries).mid(1), (Lines{"b", "d"}));
    EXPECT_EQ(SerialiseAddressBook(entries), QByteArray("a\0c\r\nb\r\nd\r\n", 11));

    EXPECT_EQ(SplitAddressLines(QByteArray("\0a\r\n", 4)), Bytes{QByteArray("\0a", 2)});
    // A CR just before a NUL ends its line; the NUL starts the next one.
    EXPECT_EQ(SplitAddressLines(QByteArray("a\r\0\nb", 5)), (Bytes{"a", QByteArray("\0", 1), "b"}));
    // Shown with a replacement character in either decoding, never cut at the NUL.
    EXPECT_EQ(DecodeAddressLine(QByteArray("\xFC\0x", 3)), QStringLiteral("\u00FC\uFFFDx"));
}

TEST(AddressBookFileTest, LinesThatAreNotUtf8ShowAsWindows1252AndKeepTheirBytes) {
    EXPECT_EQ(DecodeAddressLine("M\xFCller <h>"), QStringLiteral("M\u00FCller <h>"));
    EXPECT_EQ(DecodeAddressLine("\x80\x8A\x9F\x81"), QStringLiteral("\u20AC\u0160\u0178\u0081"));
    // One bad sequence makes the whole line Windows-1252, its valid UTF-8 included.
    EXPECT_EQ(DecodeAddressLine("\xC3\xBC \xFC"), QStringLiteral("\u00C3\u00BC \u00FC"));
    // Overlong forms and encoded surrogates are not UTF-8.
    EXPECT_EQ(DecodeAddressLine("\xC0\xAF"), QStringLiteral("\u00C0\u00AF"));
    EXPECT_EQ(DecodeAddressLine("\xED\xA0\x80"), QStringLiteral("\u00ED\u00A0\u20AC"));

    // The same name stored both ways: equal texts, different bytes, each written back as read.
    const QByteArray file("Z\xC3\xBC <1>\r\nz\xFC <2>\r\n");
    const AddressEntries entries = ParseAddressBook(file);
    EXPECT_EQ(EntryTexts(entries),
              (Lines{QStringLiteral("Z\u00FC <1>"), QStringLiteral("z\u00FC <2>")}));
    EXPECT_EQ(SerialiseAddressBook(entries), file);
    // The names compare equal ignoring case, whichever way each was stored.
    EXPECT_EQ(CompareEntries(entries[0].text.first(2), entries[1].text.first(2)), 0);
}

TEST(AddressBookFileTest, SortingIgnoresCaseAndKeepsEqualEntriesInArrivalOrder) {
    Lines entries;
    for (const char* entry : {"bob <2>", "Ann <1>", "BOB <2>", " <>", "carl <3>", "Bob <2>"})
        entries.insert(SortedPosition(entries, QString::fromLatin1(entry)),
                       QString::fromLatin1(entry));
    EXPECT_EQ(entries, (Lines{" <>", "Ann <1>", "bob <2>", "BOB <2>", "Bob <2>", "carl <3>"}));

    // The file's order does not matter, but among equal entries it is kept.
    EXPECT_EQ(Texts("b\r\nA\r\na\r\nB\r\n"), (Lines{"A", "a", "b", "B"}));
}

TEST(AddressBookFileTest, EntriesAreFormedWithoutLineBreaks) {
    EXPECT_EQ(FormEntry("Ann", "198.18.0.1"), "Ann <198.18.0.1>");
    EXPECT_EQ(FormEntry("", ""), " <>");
    EXPECT_EQ(FormEntry(QStringLiteral("A\r\nB"), QString(QChar(0)) + "h\n"), "A  B < h >");
}

TEST(AddressBookFileTest, AddressWhenChosen) {
    EXPECT_EQ(ChosenAddress("Ann <198.18.0.1>"), "198.18.0.1");
    EXPECT_EQ(ChosenAddress(" <>"), "");
    EXPECT_EQ(ChosenAddress("typed by hand"), "typed by hand");
    EXPECT_EQ(ChosenAddress(""), "");
    EXPECT_EQ(ChosenAddress("Ann <host.lan"), "host.la");
    EXPECT_EQ(ChosenAddress("a<b> <c>"), "b> <c");
    EXPECT_EQ(ChosenAddress("<>"), "");
    EXPECT_EQ(ChosenAddress("Ann <"), std::nullopt);
}

TEST(AddressBookFileTest, AddressForTheDuplicateTest) {
    EXPECT_EQ(ListedAddress("Ann <host> <other>"), "host");
    EXPECT_EQ(ListedAddress(" <>"), "");
    EXPECT_EQ(ListedAddress("no brackets"), std::nullopt);
    EXPECT_EQ(ListedAddress("Ann <host"), std::nullopt);
    EXPECT_EQ(ListedAddress("a>b <c>"), std::nullopt);

    const Lines book{"Ann <Host.local>", "plain.local"};
    EXPECT_TRUE(HostInAddressList(book, "Host.local"));
    EXPECT_FALSE(HostInAddressList(book, "host.local"));
    EXPECT_FALSE(HostInAddressList(book, "plain.local"));

    // A host stored as Windows-1252 is found by its text, as the browser reports it.
    const Lines older = EntryTexts(ParseAddressBook("Ann <h\xF6st.local>\r\n"));
    EXPECT_TRUE(HostInAddressList(older, QStringLiteral("h\u00F6st.local")));
}

} // namespace
} // namespace vocalyn::directory
