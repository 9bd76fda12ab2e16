#include "structure/DepartmentName.h"

#include "catalogue/Windows1252.h"

namespace {

// The character as the owner can read it in a message.
QString shown(QStringView name, qsizetype index) {
    const QChar ch = name[index];
    if (ch == QLatin1Char('\r') || ch == QLatin1Char('\n'))
        return QStringLiteral("a line break");
    if (ch == QLatin1Char('\t'))
        return QStringLiteral("a tab");
    if (ch.category() == QChar::Other_Control)
        return QStringLiteral("the control character U+") +
               QString::number(ch.unicode(), 16).rightJustified(4, QLatin1Char('0')).toUpper();
    return QLatin1Char('"') + Windows1252::characterAt(name, index) + QLatin1Char('"');
}

void appendOnce(QStringList& list, const QString& item) {
    if (!list.contains(item))
        list.append(item);
}

} // namespace

namespace DepartmentName {

bool isRefusedCharacter(QChar ch) {
    return ch == QLatin1Char('/') || ch == QLatin1Char('\\') || ch == QChar(0x00AC) ||
           ch.category() == QChar::Other_Control;
}

Verdict check(QStringView name) {
    Verdict verdict;
    if (name.isEmpty()) {
        verdict.problem = Problem::Empty;
        return verdict;
    }
    if (name == u"." || name == u"..") {
        verdict.problem = Problem::DotName;
        verdict.refused.append(QLatin1Char('"') + name.toString() + QLatin1Char('"'));
        return verdict;
    }
    QStringList folder;
    QStringList unstorable;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isRefusedCharacter(name[i]))
            appendOnce(folder, shown(name, i));
        else if (!Windows1252::byteFor(name[i]))
            appendOnce(unstorable, shown(name, i));
        if (name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate())
            ++i; // the pair was shown whole
    }
    if (!folder.isEmpty()) {
        verdict.problem = Problem::FolderCharacters;
        verdict.refused = folder + unstorable;
    } else if (!unstorable.isEmpty()) {
        verdict.problem = Problem::UnstorableCharacters;
        verdict.refused = unstorable;
    }
    return verdict;
}

QString refusedCharactersText() {
    return QStringLiteral("/ \\ \u00AC or control characters such as line breaks and tabs");
}

QString message(QStringView name, const Verdict& verdict) {
    const QString rule = QStringLiteral("A department name becomes a folder of your web shop: it cannot hold ") +
                         refusedCharactersText() +
                         QStringLiteral(", nor characters that kioskSmith's files cannot store, "
                                        "and it cannot be \".\" or \"..\".");
    switch (verdict.problem) {
    case Problem::None:
    case Problem::Empty:
        return QString();
    case Problem::DotName:
        return QStringLiteral("\"%1\" cannot be a department name.\n\n").arg(name) + rule;
    case Problem::FolderCharacters:
    case Problem::UnstorableCharacters:
        break;
    }
    return QStringLiteral("This department name holds %1, which a department name cannot hold.\n\n")
               .arg(verdict.refused.join(QStringLiteral(", "))) +
           rule;
}

} // namespace DepartmentName
