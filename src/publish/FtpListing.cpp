#include "publish/FtpListing.h"

#include <array>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allDigits(QByteArrayView text) {
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        if (!isDigit(c))
            return false;
    }
    return true;
}

// A listed size; -1 when it is not a plain number.
qint64 sizeOf(QByteArrayView text) {
    if (!allDigits(text) || text.size() > 18)
        return -1;
    return text.toLongLong();
}

// A line without its line break.
QByteArrayView chopLineEnd(QByteArrayView line) {
    while (!line.isEmpty() && (line.back() == '\r' || line.back() == '\n'))
        line.chop(1);
    return line;
}

struct Token {
    QByteArrayView text;
    qsizetype end = 0; // offset just past the token in the line
};

std::vector<Token> tokens(QByteArrayView line, std::size_t most) {
    std::vector<Token> out;
    qsizetype i = 0;
    while (i < line.size() && out.size() < most) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i >= line.size())
            break;
        const qsizetype start = i;
        while (i < line.size() && !isBlank(line[i]))
            ++i;
        out.push_back({line.sliced(start, i - start), i});
    }
    return out;
}

bool isMonth(QByteArrayView word) {
    static constexpr std::array<const char*, 12> months = {"jan", "feb", "mar", "apr", "may", "jun",
                                                           "jul", "aug", "sep", "oct", "nov", "dec"};
    if (word.size() != 3)
        return false;
    for (const char* month : months) {
        if (QByteArrayView(month).compare(word, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool isClockOrYear(QByteArrayView word) {
    if (word.size() == 4 && allDigits(word))
        return true;
    const qsizetype colon = word.indexOf(':');
    return colon > 0 && allDigits(word.first(colon)) && allDigits(word.sliced(colon + 1));
}

// "drwxr-xr-x  2 owner group  4096 Jan  1 12:00 name": the name starts one blank after the
// clock or the year, so names that begin with blanks keep them.
std::optional<RemoteEntry> parseUnixLine(QByteArrayView line) {
    if (line.size() < 10 || QByteArrayView("-dlbcps").indexOf(line[0]) < 0)
        return std::nullopt;
    const std::vector<Token> words = tokens(line, 12);
    for (std::size_t k = 3; k + 2 < words.size(); ++k) {
        if (!isMonth(words[k].text) || !allDigits(words[k + 1].text) || words[k + 1].text.size() > 2 ||
            !isClockOrYear(words[k + 2].text))
            continue;
        const qsizetype start = words[k + 2].end + 1;
        if (start > line.size())
            return std::nullopt;
        QByteArrayView name = line.sliced(start);
        if (line[0] == 'l') {
            const qsizetype arrow = name.indexOf(" -> ");
            if (arrow >= 0)
                name = name.first(arrow);
        }
        if (name.isEmpty())
            return std::nullopt;
        const bool folder = line[0] == 'd';
        return RemoteEntry{name.toByteArray(), folder, folder ? -1 : sizeOf(words[k - 1].text)};
    }
    return std::nullopt;
}

// "01-31-24  09:05PM       <DIR>          name" or "...  1234 name".
std::optional<RemoteEntry> parseDosLine(QByteArrayView line) {
    const std::vector<Token> words = tokens(line, 3);
    if (words.size() < 3)
        return std::nullopt;
    const QByteArrayView date = words[0].text;
    if (date.size() < 8 || !isDigit(date[0]) || !isDigit(date[1]) || (date[2] != '-' && date[2] != '/'))
        return std::nullopt;
    const QByteArrayView clock = words[1].text;
    if (clock.indexOf(':') <= 0 || !isDigit(clock[0]))
        return std::nullopt;
    const QByteArrayView kind = words[2].text;
    const bool folder = kind.compare(QByteArrayView("<DIR>"), Qt::CaseInsensitive) == 0;
    if (!folder && !allDigits(kind))
        return std::nullopt;
    qsizetype start = words[2].end;
    while (start < line.size() && isBlank(line[start]))
        ++start;
    if (start >= line.size())
        return std::nullopt;
    return RemoteEntry{line.sliced(start).toByteArray(), folder, folder ? -1 : sizeOf(kind)};
}

template <typename Parse> std::vector<RemoteEntry> parseLines(const QByteArray& listing, Parse parse) {
    std::vector<RemoteEntry> entries;
    qsizetype start = 0;
    while (start < listing.size()) {
        qsizetype end = listing.indexOf('\n', start);
        if (end < 0)
            end = listing.size();
        if (auto entry = parse(QByteArrayView(listing).sliced(start, end - start)))
            entries.push_back(std::move(*entry));
        start = end + 1;
    }
    return entries;
}

} // namespace

namespace FtpListing {

std::optional<RemoteEntry> parseMlsdLine(QByteArrayView line) {
    line = chopLineEnd(line);
    const qsizetype space = line.indexOf(' ');
    if (space <= 0 || space + 1 >= line.size())
        return std::nullopt;
    const QByteArrayView facts = line.first(space);
    const QByteArrayView name = line.sliced(space + 1);

    QByteArrayView type;
    QByteArrayView size;
    qsizetype start = 0;
    while (start < facts.size()) {
        qsizetype end = facts.indexOf(';', start);
        if (end < 0)
            end = facts.size();
        const QByteArrayView fact = facts.sliced(start, end - start);
        const qsizetype equals = fact.indexOf('=');
        if (equals > 0 && fact.first(equals).compare(QByteArrayView("type"), Qt::CaseInsensitive) == 0)
            type = fact.sliced(equals + 1);
        else if (equals > 0 && fact.first(equals).compare(QByteArrayView("size"), Qt::CaseInsensitive) == 0)
            size = fact.sliced(equals + 1);
        start = end + 1;
    }
    if (type.isEmpty())
        return std::nullopt;
    if (type.compare(QByteArrayView("cdir"), Qt::CaseInsensitive) == 0 ||
        type.compare(QByteArrayView("pdir"), Qt::CaseInsensitive) == 0)
        return std::nullopt;
    const bool folder = type.compare(QByteArrayView("dir"), Qt::CaseInsensitive) == 0;
    return RemoteEntry{name.toByteArray(), folder, folder ? -1 : sizeOf(size)};
}

std::optional<RemoteEntry> parseListLine(QByteArrayView line) {
    line = chopLineEnd(line);
    if (auto entry = parseUnixLine(line))
        return entry;
    return parseDosLine(line);
}

std::vector<RemoteEntry> parseMlsd(const QByteArray& listing) {
    return parseLines(listing, parseMlsdLine);
}

std::vector<RemoteEntry> parseList(const QByteArray& listing) {
    return parseLines(listing, parseListLine);
}

} // namespace FtpListing
