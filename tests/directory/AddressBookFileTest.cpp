#include "directory/AddressBookFile.h"

#include <gtest/gtest.h>

namespace vocalyn::directory {
namespace {

using Lines = QStringList;

TEST(AddressBookFileTest, LineEndsEmptyLinesAndTheEndOfTheFile) {
    const QByteArray sixBytes("\x61\x0D\x0A\x0D\x0A\x62", 6);
    EXPECT_EQ(SplitAddressLines(sixBytes), (Lines{"a", "", "b"}));
    EXPECT_EQ(ParseAddressBook(sixBytes), (Lines{"", "a", "b"}));
    EXPECT_EQ(SerialiseAddressBook(ParseAddressBook(sixBytes)),
              QByteArray("\x0D\x0A\x61\x0D\x0A\x62\x0D\x0A", 8));

    EXPECT_EQ(SplitAddressLines("a\rb\r"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitAddressLines("a\n\rb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitAddressLines("a\r\r\nb\n\n"), (Lines{"a", "", "b", ""}));
    EXPECT_EQ(SplitAddressLines("\r\n"), (Lines{""}));
    EXPECT_EQ(SplitAddressLines(""), Lines{});
    EXPECT_EQ(SerialiseAddressBook({}), QByteArray());
}

TEST(AddressBookFileTest, NulEndsTheText) {
    EXPECT_EQ(ParseAddressBook(QByteArray("b\r\na\0c\r\nd", 10)), (Lines{"a", "b"}));
    EXPECT_EQ(ParseAddressBook(QByteArray("\0a\r\n", 4)), Lines{});
    // A CR just before the NUL still ends its line; the LF after it is never seen.
    EXPECT_EQ(SplitAddressLines(QByteArray("a\r\0\nb", 5)), (Lines{"a"}));
}

TEST(AddressBookFileTest, TextIsUtf8BothWays) {
    const QString name = QStringLiteral("Zo\u00eb <h\u00f6st>");
    EXPECT_EQ(ParseAddressBook(name.toUtf8() + "\r\n"), (Lines{name}));
    EXPECT_EQ(SerialiseAddressBook({name}), name.toUtf8() + "\r\n");
}

TEST(AddressBookFileTest, SortingIgnoresCaseAndKeepsEqualEntriesInArrivalOrder) {
    Lines entries;
    for (const char* entry : {"bob <2>", "Ann <1>", "BOB <2>", " <>", "carl <3>", "Bob <2>"})
        InsertSorted(entries, QString::fromLatin1(entry));
    EXPECT_EQ(entries, (Lines{" <>", "Ann <1>", "bob <2>", "BOB <2>", "Bob <2>", "carl <3>"}));

    // The file's order does not matter, but among equal entries it is kept.
    EXPECT_EQ(ParseAddressBook("b\r\nA\r\na\r\nB\r\n"), (Lines{"A", "a", "b", "B"}));
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
}

} // namespace
} // namespace vocalyn::directory
