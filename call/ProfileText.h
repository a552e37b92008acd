#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <vector>

// The text of an INI profile file: "[Section]" header lines, "Key=Value" lines under them, and
// anything else (comments, blank lines, stray text), which is kept as it is. Section and key
// names match without regard to the case of the letters A to Z. Lines end in CR LF or LF.
// Pure functions over bytes, so that they can be tested and fuzzed without files.
namespace vocalyn::call {

struct ProfileLine {
    enum class Kind { Other, Section, Entry };

    Kind kind = Kind::Other;
    QByteArray name;  // section name or key, blanks trimmed
    QByteArray value; // entries: blanks trimmed, one pair of enclosing double quotes removed
    qsizetype begin = 0;
    qsizetype valueBegin = 0; // entries: just after the '='
    qsizetype contentEnd = 0; // where the line end (CR LF or LF) starts
    qsizetype end = 0;        // just after the line end
};

// Splits the text into lines and classifies each. The lines cover the text without gaps.
std::vector<ProfileLine> ParseProfile(QByteArrayView text);

// The value of the first entry `key` under a header `section`; nullopt when there is none.
std::optional<QByteArray> FindProfileValue(QByteArrayView text, QByteArrayView section,
                                           QByteArrayView key);

// The text with `key` of `section` set to `value`: the entry FindProfileValue reads is rewritten
// where it stands; a missing key goes after the last entry of the first such section; a missing
// section goes at the end, in the text's line end style (CR LF when it has none). Every other
// byte is kept. The value is quoted when blanks or quotes at its ends would otherwise be lost on
// reading. nullopt when the names or the value cannot be stored: a line break anywhere, an empty
// key, a key holding "=" or starting like a header or a comment, a section name holding "]",
// blanks around a name.
std::optional<QByteArray> SetProfileValue(QByteArrayView text, QByteArrayView section,
                                          QByteArrayView key, QByteArrayView value);

} // namespace vocalyn::call
