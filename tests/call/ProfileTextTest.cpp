#include "call/ProfileText.h"

#include <gtest/gtest.h>

namespace vocalyn::call {
namespace {

struct LookupCase {
    const char* text;
    const char* section;
    const char* key;
    std::optional<QByteArray> expected;
};

TEST(ProfileText, FindsValuesTheWayPeopleWriteThem) {
    const LookupCase cases[] = {
        {"[Settings]\r\nRingTime=7\r\n", "settings", "RINGTIME", "7"},
        {"[ Settings ]\nRingTime =  7 \t\n", "Settings", "RingTime", "7"},
        {"[Settings]\nMessage=\"  hi  \"\n", "Settings", "Message", "  hi  "},
        {"[Settings]\nMessage=\"\"x\"\"\n", "Settings", "Message", "\"x\""},
        {"[Settings]\nMessage=\"half\n", "Settings", "Message", "\"half"},
        {"[Settings]\nMessage=a=b\n", "Settings", "Message", "a=b"},
        {"[Settings]\nMessage=\n", "Settings", "Message", ""},
        {"[Settings]\nMessage=first\nMessage=second\n", "Settings", "Message", "first"},
        {"[Settings]\r\nRingTime=7", "Settings", "RingTime", "7"},
        // Not there: another section, a comment, no header above, a broken header.
        {"[Other]\nRingTime=7\n[Settings]\n", "Settings", "RingTime", std::nullopt},
        {"[Settings]\n;RingTime=7\n#RingTime=8\n", "Settings", "RingTime", std::nullopt},
        {"RingTime=7\n[Settings]\n", "Settings", "RingTime", std::nullopt},
        {"[Settings\nRingTime=7\n", "Settings", "RingTime", std::nullopt},
        // A-Z fold, other bytes do not: the UTF-8 of "é" and "É" differ.
        {"[Settings]\n\xC3\xA9=1\n", "Settings", "\xC3\x89", std::nullopt},
    };
    for (const LookupCase& c : cases)
        EXPECT_EQ(FindProfileValue(c.text, c.section, c.key), c.expected) << c.text;
}

TEST(ProfileText, ReplacesAValueWhereItStands) {
    const QByteArray before = "; mine\r\n[Settings]\r\n  ringtime = 5 \r\nMessage=x\r\n[Z]\r\nk=v";
    EXPECT_EQ(SetProfileValue(before, "Settings", "RingTime", "12"),
              "; mine\r\n[Settings]\r\n  ringtime =12\r\nMessage=x\r\n[Z]\r\nk=v");
}

TEST(ProfileText, AddsAMissingKeyAfterTheLastEntryOfItsSection) {
    EXPECT_EQ(SetProfileValue("[Settings]\nA=1\n; note\n\n[Other]\nB=2\n", "SETTINGS", "C", "3"),
              "[Settings]\nA=1\nC=3\n; note\n\n[Other]\nB=2\n");
    EXPECT_EQ(SetProfileValue("[Settings]\r\n[Other]\r\n", "Settings", "C", "3"),
              "[Settings]\r\nC=3\r\n[Other]\r\n");
    EXPECT_EQ(SetProfileValue("[Settings]\nA=1", "Settings", "C", "3"), "[Settings]\nA=1\nC=3\n");
}

TEST(ProfileText, AddsAMissingSectionAtTheEndInTheTextsLineEnds) {
    EXPECT_EQ(SetProfileValue("", "Settings", "A", "1"), "[Settings]\r\nA=1\r\n");
    EXPECT_EQ(SetProfileValue("[Other]\nB=2\n", "Settings", "A", "1"),
              "[Other]\nB=2\n[Settings]\nA=1\n");
    EXPECT_EQ(SetProfileValue("; only a comment", "Settings", "A", "1"),
              "; only a comment\r\n[Settings]\r\nA=1\r\n");
}

TEST(ProfileText, ValuesReadBackAsWritten) {
    for (const QByteArray& value :
         {QByteArray(""), QByteArray(" padded "), QByteArray("\"quoted\""), QByteArray("\""),
          QByteArray("a \"b\" c"), QByteArray("\t")}) {
        const auto text = SetProfileValue("[S]\nK=old\n", "S", "K", value);
        ASSERT_TRUE(text) << value.constData();
        EXPECT_EQ(FindProfileValue(*text, "S", "K"), value) << text->constData();
    }
}

TEST(ProfileText, RefusesWhatCannotBeStoredOnOneLine) {
    EXPECT_FALSE(SetProfileValue("", "S", "K", "two\nlines"));
    EXPECT_FALSE(SetProfileValue("", "S", "K", "cr\r"));
    EXPECT_FALSE(SetProfileValue("", "S]", "K", "v"));
    EXPECT_FALSE(SetProfileValue("", " S", "K", "v"));
    for (const char* key : {"", "a=b", "[K", ";K", "#K", " K", "K\n"})
        EXPECT_FALSE(SetProfileValue("", "S", key, "v")) << key;
}

} // namespace
} // namespace vocalyn::call
