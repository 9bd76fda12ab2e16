#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

// The single-byte code page of every local text file. All 256 bytes round-trip: the five
// bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control
// characters of the same number, as Windows itself maps them.
namespace Windows1252 {

// The byte for a character, or nothing when the code page has no byte for it.
std::optional<unsigned char> byteFor(QChar ch);
QChar charFor(unsigned char byte);

QString decode(QByteArrayView bytes);

// Encodes the whole text; returns nothing if any character cannot be stored.
std::optional<QByteArray> encode(QStringView text);

// Index of the first character that cannot be stored, or -1 when every character can.
qsizetype firstUnencodable(QStringView text);
inline bool canEncode(QStringView text) {
    return firstUnencodable(text) < 0;
}

// The character at `index` as the owner would recognise it: a surrogate pair is kept whole.
QString characterAt(QStringView text, qsizetype index);

} // namespace Windows1252
