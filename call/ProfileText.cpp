#include "call/ProfileText.h"

namespace vocalyn::call {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

QByteArrayView Trimmed(QByteArrayView s) {
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && IsBlank(s[begin]))
        ++begin;
    while (end > begin && IsBlank(s[end - 1]))
        --end;
    return s.sliced(begin, end - begin);
}

bool IsTrimmed(QByteArrayView s) {
    return Trimmed(s).size() == s.size();
}

// Only A to Z fold: folding bytes of a multi-byte UTF-8 character would make different names
// equal.
char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool NamesMatch(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    }
    return true;
}

bool IsQuoted(QByteArrayView s) {
    return s.size() >= 2 && s.front() == '"' && s.back() == '"';
}

bool HasLineBreak(QByteArrayView s) {
    return s.contains('\r') || s.contains('\n');
}

void Classify(QByteArrayView content, ProfileLine& line) {
    qsizetype lead = 0;
    while (lead < content.size() && IsBlank(content[lead]))
        ++lead;
    if (lead == content.size())
        return;

    const char first = content[lead];
    if (first == '[') {
        const qsizetype close = content.indexOf(']', lead + 1);
        if (close < 0)
            return;
        line.kind = ProfileLine::Kind::Section;
        line.name = Trimmed(content.sliced(lead + 1, close - lead - 1)).toByteArray();
        return;
    }
    if (first == ';' || first == '#')
        return;

    const qsizetype equals = content.indexOf('=');
    if (equals < 0)
        return;
    const QByteArrayView key = Trimmed(content.first(equals));
    if (key.isEmpty())
        return;
    QByteArrayView value = Trimmed(content.sliced(equals + 1));
    if (IsQuoted(value))
        value = value.sliced(1, value.size() - 2);
    line.kind = ProfileLine::Kind::Entry;
    line.name = key.toByteArray();
    line.value = value.toByteArray();
    line.valueBegin = line.begin + equals + 1;
}

std::optional<std::size_t> FindEntry(const std::vector<ProfileLine>& lines, QByteArrayView section,
                                     QByteArrayView key) {
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ProfileLine& line = lines[i];
        if (line.kind == ProfileLine::Kind::Section)
            inSection = NamesMatch(line.name, section);
        else if (inSection && line.kind == ProfileLine::Kind::Entry && NamesMatch(line.name, key))
            return i;
    }
    return std::nullopt;
}

// Where a new key of `section` goes: after the section's last entry, or after its header.
std::optional<std::size_t> LineBeforeNewKey(const std::vector<ProfileLine>& lines,
                                            QByteArrayView section) {
    std::size_t i = 0;
    while (i < lines.size() &&
           !(lines[i].kind == ProfileLine::Kind::Section && NamesMatch(lines[i].name, section)))
        ++i;
    if (i == lines.size())
        return std::nullopt;
    std::size_t last = i;
    for (++i; i < lines.size() && lines[i].kind != ProfileLine::Kind::Section; ++i) {
        if (lines[i].kind == ProfileLine::Kind::Entry)
            last = i;
    }
    return last;
}

QByteArrayView LineEndStyle(QByteArrayView text) {
    const qsizetype newline = text.indexOf('\n');
    if (newline < 0 || (newline > 0 && text[newline - 1] == '\r'))
        return "\r\n";
    return "\n";
}

bool CanStore(QByteArrayView section, QByteArrayView key, QByteArrayView value) {
    if (HasLineBreak(section) || section.contains(']') || !IsTrimmed(section))
        return false;
    if (key.isEmpty() || HasLineBreak(key) || key.contains('=') || !IsTrimmed(key) ||
        key.front() == '[' || key.front() == ';' || key.front() == '#')
        return false;
    return !HasLineBreak(value);
}

QByteArray Encoded(QByteArrayView value) {
    const bool needsQuotes =
        !value.isEmpty() && (IsBlank(value.front()) || IsBlank(value.back()) || IsQuoted(value));
    if (!needsQuotes)
        return value.toByteArray();
    return '"' + value.toByteArray() + '"';
}

} // namespace

std::vector<ProfileLine> ParseProfile(QByteArrayView text) {
    std::vector<ProfileLine> lines;
    qsizetype pos = 0;
    while (pos < text.size()) {
        ProfileLine line;
        line.begin = pos;
        const qsizetype newline = text.indexOf('\n', pos);
        if (newline < 0) {
            line.contentEnd = line.end = text.size();
        } else {
            line.contentEnd = newline > pos && text[newline - 1] == '\r' ? newline - 1 : newline;
            line.end = newline + 1;
        }
        Classify(text.sliced(line.begin, line.contentEnd - line.begin), line);
        lines.push_back(std::move(line));
        pos = lines.back().end;
    }
    return lines;
}

std::optional<QByteArray> FindProfileValue(QByteArrayView text, QByteArrayView section,
                                           QByteArrayView key) {
    const std::vector<ProfileLine> lines = ParseProfile(text);
    if (const auto entry = FindEntry(lines, section, key))
        return lines[*entry].value;
    return std::nullopt;
}

std::optional<QByteArray> SetProfileValue(QByteArrayView text, QByteArrayView section,
                                          QByteArrayView key, QByteArrayView value) {
    if (!CanStore(section, key, value))
        return std::nullopt;

    const std::vector<ProfileLine> lines = ParseProfile(text);
    const QByteArray encoded = Encoded(value);
    QByteArray result = text.toByteArray();

    if (const auto entry = FindEntry(lines, section, key)) {
        const ProfileLine& line = lines[*entry];
        result.replace(line.valueBegin, line.contentEnd - line.valueBegin, encoded);
        return result;
    }

    const QByteArrayView eol = LineEndStyle(text);
    QByteArray added;
    qsizetype insertAt = text.size();
    const auto before = LineBeforeNewKey(lines, section);
    if (before)
        insertAt = lines[*before].end;
    // An insertion after a last line that has no line end must first end that line.
    if (insertAt > 0 && text[insertAt - 1] != '\n')
        added.append(eol);
    if (!before)
        added.append('[').append(section).append(']').append(eol);
    added.append(key).append('=').append(encoded).append(eol);
    result.insert(insertAt, added);
    return result;
}

} // namespace vocalyn::call
