// Parses arbitrary bytes as a profile file, sets one key and checks that the key reads back as
// written, that every other key reads as before, and that setting it again changes nothing.
//
// Input: the first byte chooses the key and the value's length; the rest is the file's text,
// whose last bytes are also the value, so values hold quotes, blanks and line breaks.

#include "call/ProfileText.h"
#include "fuzz/FuzzCheck.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

using vocalyn::call::FindProfileValue;
using vocalyn::call::ParseProfile;
using vocalyn::call::ProfileLine;
using vocalyn::call::SetProfileValue;

namespace {

struct Name {
    QByteArray section;
    QByteArray key;
};

// Names match when only the letters A to Z differ in case.
bool SameName(QByteArrayView a, QByteArrayView b) {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return fold(x) == fold(y); });
}

bool HasLineBreak(QByteArrayView s) {
    return s.contains('\r') || s.contains('\n');
}

// Checks that the lines cover the text without gaps, and returns every key under a section.
std::vector<Name> CheckLines(QByteArrayView text) {
    std::vector<Name> names;
    const QByteArray* section = nullptr;
    qsizetype pos = 0;
    for (const ProfileLine& line : ParseProfile(text)) {
        CHECK(line.begin == pos && line.begin <= line.contentEnd && line.contentEnd <= line.end);
        CHECK(line.end > line.begin);
        if (line.kind == ProfileLine::Kind::Section)
            section = &line.name;
        if (line.kind == ProfileLine::Kind::Entry) {
            CHECK(line.valueBegin > line.begin && line.valueBegin <= line.contentEnd);
            CHECK(!line.name.isEmpty());
            if (section)
                names.push_back({*section, line.name});
        }
        pos = line.end;
    }
    CHECK(pos == text.size());
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const unsigned selector = data[0];
    const QByteArrayView text(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QByteArrayView value = text.last(std::min<qsizetype>(selector % 16, text.size()));

    const std::vector<Name> names = CheckLines(text);
    Name target{"Settings", "RingTime"};
    if ((selector & 0x80) && !names.empty())
        target = names[(selector >> 4 & 7) % names.size()];

    const std::optional<QByteArray> updated =
        SetProfileValue(text, target.section, target.key, value);
    const bool storable =
        !HasLineBreak(value) && !HasLineBreak(target.section) && !HasLineBreak(target.key);
    CHECK(updated.has_value() == storable);
    if (!updated)
        return 0;

    CheckLines(*updated);
    CHECK(FindProfileValue(*updated, target.section, target.key) == value);
    for (const Name& other : names) {
        if (SameName(other.section, target.section) && SameName(other.key, target.key))
            continue;
        CHECK(FindProfileValue(*updated, other.section, other.key) ==
              FindProfileValue(text, other.section, other.key));
    }
    CHECK(SetProfileValue(*updated, target.section, target.key, value) == updated);
    return 0;
}
