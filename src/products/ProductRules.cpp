#include "products/ProductRules.h"

#include "catalogue/LineFile.h"
#include "catalogue/Windows1252.h"

#include <cmath>

namespace ProductRules {

qsizetype typedLength(QStringView text) {
    qsizetype length = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r')) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
            length += 2;
        } else if (c == QLatin1Char('\n')) {
            length += 2;
        } else {
            ++length;
        }
    }
    return length;
}

qsizetype firstRefused(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == fieldSeparator || !Windows1252::byteFor(text[i]))
            return i;
    }
    return -1;
}

QString withoutRefused(QStringView text) {
    QString kept;
    kept.reserve(text.size());
    for (const QChar c : text) {
        if (c != fieldSeparator && Windows1252::byteFor(c))
            kept.append(c);
    }
    return kept;
}

QString refusalReason(QStringView text, qsizetype index) {
    const QString character = Windows1252::characterAt(text, index);
    if (text[index] == fieldSeparator)
        return QStringLiteral("A product cannot hold the character \"%1\": it separates the fields of the "
                              "product file that the web shop reads.")
            .arg(character);
    return QStringLiteral("A product cannot hold the character \"%1\": kioskSmith's catalogue file cannot "
                          "store it.")
        .arg(character);
}

QString storedValue(const QString& typed) {
    return LineFile::oneLine(typed);
}

std::optional<QString> normalisedPrice(const QString& text, const QLocale& locale) {
    bool ok = false;
    double value = locale.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    if (value == 0.0)
        value = 0.0; // no "-0.00"
    QLocale standard = locale;
    standard.setNumberOptions(standard.numberOptions() & ~QLocale::OmitGroupSeparator);
    return standard.toString(value, 'f', 2);
}

} // namespace ProductRules
