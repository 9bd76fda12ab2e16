#include "structure/DepartmentName.h"

#include "catalogue/StoreCatalogue.h"
#include "catalogue/Windows1252.h"

#include <algorithm>

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
    } else if (const qsizetype bytes = name.toUtf8().size(); bytes > maxBytes) {
        verdict.problem = Problem::TooLong;
        verdict.bytes = int(bytes);
    } else {
        // The folder could not be made beside the file of that name (some servers ignore case).
        static const QStringList shopFiles = {QStringLiteral("storesettings.txt"), QStringLiteral("departments.nif"),
                                              QStringLiteral("no_image_available.jpg"), QStringLiteral("orders.txt")};
        for (const QString& file : shopFiles) {
            if (name.compare(file, Qt::CaseInsensitive) == 0) {
                verdict.problem = Problem::ShopFile;
                verdict.refused.append(QLatin1Char('"') + name.toString() + QLatin1Char('"'));
            }
        }
    }
    return verdict;
}

Verdict check(QStringView name, const StoreCatalogue& catalogue, int slot) {
    Verdict verdict = check(name);
    if (!verdict.isAccepted())
        return verdict;
    const int before = std::min(slot, int(catalogue.departmentNames.size()));
    for (int d = 0; d < before; ++d) {
        const QString& other = catalogue.departmentNames[std::size_t(d)];
        if (!other.isEmpty() && QStringView(other).compare(name, Qt::CaseInsensitive) == 0) {
            verdict.problem = Problem::Duplicate;
            verdict.clash = other;
            break;
        }
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
    case Problem::ShopFile:
        return QStringLiteral("\"%1\" is the name of one of your web shop's own files, so it cannot be a department "
                              "name.\n\nChoose another name.")
            .arg(name);
    case Problem::TooLong:
        return QStringLiteral("This department name is too long: it takes %1 bytes on the server, which holds at "
                              "most %2 (letters such as \u00E9 take two, \u20AC three).\n\nShorten the name.")
            .arg(verdict.bytes)
            .arg(maxBytes);
    case Problem::Duplicate:
        return QStringLiteral("There is already a department named \"%1\". Each department becomes a folder of "
                              "your web shop, and some servers do not tell capitals from small letters, so two "
                              "departments cannot share a name.\n\nChoose another name.")
            .arg(verdict.clash);
    case Problem::FolderCharacters:
    case Problem::UnstorableCharacters:
        break;
    }
    return QStringLiteral("This department name holds %1, which a department name cannot hold.\n\n")
               .arg(verdict.refused.join(QStringLiteral(", "))) +
           rule;
}

QString reason(const Verdict& verdict) {
    switch (verdict.problem) {
    case Problem::None:
        return QString();
    case Problem::Empty:
        return QStringLiteral("it is empty");
    case Problem::DotName:
        return QStringLiteral("it is ") + verdict.refused.join(QString());
    case Problem::ShopFile:
        return QStringLiteral("it is the name of one of the shop's own files, ") + verdict.refused.join(QString());
    case Problem::FolderCharacters:
    case Problem::UnstorableCharacters:
        return QStringLiteral("it holds ") + verdict.refused.join(QStringLiteral(", "));
    case Problem::TooLong:
        return QStringLiteral("it takes %1 bytes, more than the %2 a server folder name can")
            .arg(verdict.bytes)
            .arg(maxBytes);
    case Problem::Duplicate:
        return QStringLiteral("another department is already named \"%1\", capitals aside").arg(verdict.clash);
    }
    return QString();
}

} // namespace DepartmentName
