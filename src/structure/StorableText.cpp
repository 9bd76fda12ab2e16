#include "structure/StorableText.h"

#include "catalogue/Windows1252.h"

namespace StorableText {

Result keepStorable(const QString& text, int cursor) {
    Result result;
    result.text.reserve(text.size());
    result.cursor = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (i == cursor)
            result.cursor = int(result.text.size());
        const QChar c = text[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0x2028) || c == QChar(0x2029)) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) {
                ++i;
                if (i == cursor)
                    result.cursor = int(result.text.size()) + 1;
            }
            result.text.append(QLatin1Char(' '));
            result.lineBreaks = true;
            continue;
        }
        if (Windows1252::byteFor(c)) {
            result.text.append(c);
            continue;
        }
        // A surrogate pair is one character to the owner: left out whole.
        const QString whole = Windows1252::characterAt(text, i);
        if (!result.leftOut.contains(whole))
            result.leftOut.append(whole);
        if (whole.size() == 2) {
            ++i;
            if (i == cursor)
                result.cursor = int(result.text.size());
        }
    }
    if (result.cursor < 0)
        result.cursor = int(result.text.size());
    return result;
}

QString explanation(const Result& result) {
    QStringList parts;
    if (result.lineBreaks)
        parts.append(QStringLiteral("A box holds one line: each line break became a blank."));
    if (!result.leftOut.isEmpty()) {
        QStringList quoted;
        for (const QString& ch : result.leftOut)
            quoted.append(QLatin1Char('"') + ch + QLatin1Char('"'));
        parts.append(QStringLiteral("%1 cannot be stored in kioskSmith's files and %2 left out.")
                         .arg(quoted.join(QStringLiteral(", ")),
                              result.leftOut.size() == 1 ? QStringLiteral("was") : QStringLiteral("were")));
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace StorableText
