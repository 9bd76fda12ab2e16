#include "products/ProductRules.h"

#include "catalogue/LineFile.h"
#include "catalogue/Windows1252.h"

#include <QRegularExpression>

#include <cmath>

namespace {

// PHP's trim(): blanks, tabs, line ends, NUL and vertical tab at both ends.
QString phpTrim(const QString& text) {
    const auto trimmed = [](QChar c) {
        return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == QChar(0) || c == QChar(0x0B);
    };
    qsizetype start = 0, end = text.size();
    while (start < end && trimmed(text[start]))
        ++start;
    while (end > start && trimmed(text[end - 1]))
        --end;
    return text.mid(start, end - start);
}

// cleanLine() of the pages: how they read every field and setting.
QString pageLine(const QString& text) {
    static const QRegularExpression breaks(QStringLiteral("[\\r\\n\\t]+"));
    static const QRegularExpression dropped(QStringLiteral(
        "[\\x{0}-\\x{1F}\\x{7F}-\\x{9F}\\x{AC}\\x{2028}\\x{2029}\\x{202A}-\\x{202E}\\x{2066}-\\x{2069}\\x{FEFF}]"));
    static const QRegularExpression blanks(QStringLiteral(" {2,}"));
    QString out = text;
    out.replace(breaks, QStringLiteral(" "));
    out.remove(dropped);
    out.replace(blanks, QStringLiteral(" "));
    return phpTrim(out);
}

bool fullMatch(const QString& pattern, const QString& text) {
    return QRegularExpression(pattern).match(text).hasMatch();
}

} // namespace

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

bool isShopPrice(const QString& price, const QString& currencySymbol) {
    // Each step follows parsePrice() line for line; the patterns are the same PCRE patterns.
    QString text =
        phpTrim(pageLine(LineFile::oneLine(price)).replace(QChar(0x00A0), u' ').replace(QChar(0x202F), u' '));
    const QString symbol = pageLine(currencySymbol);
    if (!symbol.isEmpty()) {
        if (text.startsWith(symbol))
            text = phpTrim(text.mid(symbol.size()));
        else if (text.endsWith(symbol))
            text = phpTrim(text.left(text.size() - symbol.size()));
    }
    QString group;
    static const QRegularExpression blankGroups(QStringLiteral("^\\d{1,3}(?:([ '\u2019])\\d{3})+(?:[.,]\\d+)?$"));
    if (const auto m = blankGroups.match(text); m.hasMatch()) {
        group = m.captured(1);
        text.remove(group);
    }
    if (!fullMatch(QStringLiteral("^\\d[\\d.,]*$"), text) || text.size() > 16)
        return false;
    const qsizetype dots = text.count(u'.');
    const qsizetype commas = text.count(u',');
    QString decimal;
    if (dots > 0 && commas > 0) {
        decimal = text.lastIndexOf(u'.') > text.lastIndexOf(u',') ? QStringLiteral(".") : QStringLiteral(",");
        if (text.count(decimal) != 1 || !group.isEmpty())
            return false;
        group = decimal == u"." ? QStringLiteral(",") : QStringLiteral(".");
    } else if (dots + commas == 1) {
        const QString mark = dots == 1 ? QStringLiteral(".") : QStringLiteral(",");
        const QStringList parts = text.split(mark);
        // "1,234" groups thousands; prices carry two decimals.
        if (group.isEmpty() && parts[1].size() == 3 && parts[0] != u"0" && parts[0].size() <= 3)
            group = mark;
        else
            decimal = mark;
    } else if (dots + commas > 1) {
        if (!group.isEmpty())
            return false;
        group = dots > 0 ? QStringLiteral(".") : QStringLiteral(",");
    }
    QString whole = text;
    QString fraction;
    if (!decimal.isEmpty()) {
        const QStringList parts = text.split(decimal);
        whole = parts[0];
        fraction = parts[1];
        if (fraction.isEmpty())
            return false;
    }
    if (!group.isEmpty() && group != u" " && group != u"'" && group != u"\u2019") {
        if (!fullMatch(QStringLiteral("^\\d{1,3}(?:") + QRegularExpression::escape(group) + QStringLiteral("\\d{3})*$"),
                       whole))
            return false;
        whole.remove(group);
    }
    return fullMatch(QStringLiteral("^\\d+$"), whole) && whole.size() <= 9;
}

QString priceNote(const QString& price, const QString& currencySymbol) {
    if (price.isEmpty() || isShopPrice(price, currencySymbol))
        return QString();
    return QStringLiteral("The shop cannot sell at this price: type an amount such as 6.75");
}

} // namespace ProductRules
